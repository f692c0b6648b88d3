#include "ftp/SocketBio.h"

#include <openssl/bio.h>

#include <cerrno>
#include <cstdint>

#include <sys/socket.h>

namespace ftp {

namespace {

int fdOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

int writeBytes(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t n = ::send(fdOf(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL);
    if (n < 0 && wouldBlock())
        BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int readBytes(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t n = ::recv(fdOf(bio), buffer, static_cast<size_t>(size), 0);
    if (n < 0 && wouldBlock())
        BIO_set_retry_read(bio);
    if (n == 0)
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    return static_cast<int>(n);
}

int writeText(BIO* bio, const char* text) {
    int size = 0;
    while (text[size])
        ++size;
    return writeBytes(bio, text, size);
}

long control(BIO* bio, int command, long, void* pointer) {
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        // Lets the session tell an end of stream from a broken one.
        return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0;
    case BIO_C_GET_FD:
        if (pointer)
            *static_cast<int*>(pointer) = fdOf(bio);
        return fdOf(bio);
    default:
        return 0;
    }
}

int create(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                     "socket without SIGPIPE");
        if (m) {
            BIO_meth_set_write(m, writeBytes);
            BIO_meth_set_read(m, readBytes);
            BIO_meth_set_puts(m, writeText);
            BIO_meth_set_ctrl(m, control);
            BIO_meth_set_create(m, create);
        }
        return m;
    }();
    return method;
}

} // namespace

bio_st* newSocketBio(int fd) {
    const BIO_METHOD* method = socketMethod();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (bio)
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    return bio;
}

bio_st* newBufferedSocketReader(int fd, int bufferBytes) {
    BIO* buffer = BIO_new(BIO_f_buffer());
    BIO* socket = buffer ? newSocketBio(fd) : nullptr;
    if (!socket || BIO_set_read_buffer_size(buffer, bufferBytes) != 1) {
        BIO_free(socket);
        BIO_free(buffer);
        return nullptr;
    }
    // The end-of-stream question passes through to the socket's channel
    // once the buffer is empty.
    BIO_push(buffer, socket);
    return buffer;
}

} // namespace ftp
