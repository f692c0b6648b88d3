// Byte-range locks between processes: a lock held by another process makes a
// conflicting operation fail at once, except the header lock, which is waited
// for; concurrent appends from two processes never share a serial.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "serverbook/RecordDatabase.h"
#include "tests/serverbook/DbTestFiles.h"
#include "tests/support/TempFolder.h"

using namespace serverbook;

namespace {

// A child process that holds a classic POSIX record lock on the file until
// told to let go (or for holdMs milliseconds when given).
class LockingProcess {
public:
    LockingProcess(const std::string& path, off_t start, off_t length, int holdMs = -1) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release_[1]);
            const int fd = ::open(path.c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = start;
            fl.l_len = length;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0) ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            if (holdMs >= 0) {
                ::usleep(static_cast<useconds_t>(holdMs) * 1000);
            } else {
                char c;
                (void)!::read(release_[0], &c, 1);
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char ok = 'n';
        (void)!::read(ready[0], &ok, 1);
        ::close(ready[0]);
        locked_ = ok == 'y';
    }
    ~LockingProcess() {
        ::close(release_[1]);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool locked() const { return locked_; }

private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
    bool locked_ = false;
};

class RecordLocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = temp.file("ipsjk.edb");
        ASSERT_TRUE(RecordDatabase::create(path, {{"name", 10, 20}}));
    }
    void TearDown() override { RecordDatabase::close(); }

    void openWithRecords(int n) {
        ASSERT_TRUE(RecordDatabase::open(path));
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(RecordDatabase::append({"r" + std::to_string(i)}));
        RecordDatabase::goFirst();
    }

    static constexpr off_t kFirstRecord = 116 + 72;
    static constexpr off_t kRecordSize = 24;
    testsupport::TempFolder temp;
    std::string path;
};

TEST_F(RecordLocksTest, RecordLockedByAnotherProcessFailsAtOnce) {
    openWithRecords(3);
    LockingProcess other(path, kFirstRecord + kRecordSize, 1); // record 1
    ASSERT_TRUE(other.locked());

    EXPECT_EQ(RecordDatabase::readField("name"), "r0"); // record 0 is free
    ASSERT_TRUE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::readField("name"), "");
    EXPECT_EQ(RecordDatabase::lastError(), -28);
    EXPECT_FALSE(RecordDatabase::modify({std::string("x")}));
    EXPECT_EQ(RecordDatabase::lastError(), -28);
    EXPECT_FALSE(RecordDatabase::markDeleted());
    EXPECT_EQ(RecordDatabase::lastError(), -28);
    EXPECT_FALSE(RecordDatabase::purge());
    EXPECT_EQ(RecordDatabase::lastError(), -28);
    RecordDatabase::goFirst();
    EXPECT_FALSE(RecordDatabase::find([](const RecordView& r) { return r.readField("name") == "r2"; }));
    EXPECT_EQ(RecordDatabase::lastError(), -28);
    EXPECT_EQ(RecordDatabase::currentRecord(), 0);
}

TEST_F(RecordLocksTest, OpenFailsWhileAnotherProcessHoldsALock) {
    LockingProcess other(path, 16, 1);
    ASSERT_TRUE(other.locked());
    EXPECT_FALSE(RecordDatabase::open(path));
    EXPECT_EQ(RecordDatabase::lastError(), -28);
}

TEST_F(RecordLocksTest, HeaderLockIsWaitedForThenGivenUp) {
    openWithRecords(1);
    {
        LockingProcess briefly(path, 16, 1, 300);
        ASSERT_TRUE(briefly.locked());
        EXPECT_TRUE(RecordDatabase::append({std::string("after wait")}));
        EXPECT_EQ(RecordDatabase::recordCount(), 2);
    }
    LockingProcess held(path, 16, 1);
    ASSERT_TRUE(held.locked());
    EXPECT_FALSE(RecordDatabase::append({std::string("never")}));
    EXPECT_EQ(RecordDatabase::lastError(), -28);
}

TEST_F(RecordLocksTest, AppendsFromTwoProcessesGetDistinctSerials) {
    constexpr int kEach = 40;
    // Both processes open the file first, one after the other (an open locks
    // the whole file and would make a concurrent append fail at once), then
    // append at the same time.
    int childOpened[2], parentOpened[2];
    ASSERT_EQ(::pipe(childOpened), 0);
    ASSERT_EQ(::pipe(parentOpened), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = RecordDatabase::open(path);
        char byte = ok ? 1 : 0;
        ok = ::write(childOpened[1], &byte, 1) == 1 && ok;
        ok = ::read(parentOpened[0], &byte, 1) == 1 && ok;
        for (int i = 0; ok && i < kEach; ++i)
            ok = RecordDatabase::append({"child" + std::to_string(i)});
        ::_exit(ok ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(::read(childOpened[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    ASSERT_TRUE(RecordDatabase::open(path));
    ASSERT_EQ(::write(parentOpened[1], &byte, 1), 1);
    for (int i = 0; i < kEach; ++i)
        EXPECT_TRUE(RecordDatabase::append({"parent" + std::to_string(i)}));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {childOpened[0], childOpened[1], parentOpened[0], parentOpened[1]})
        ::close(fd);

    EXPECT_EQ(RecordDatabase::recordCount(), 2 * kEach);
    const std::string bytes = testsupport::readFileBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kFirstRecord + 2 * kEach * kRecordSize));
    std::set<int> serials;
    for (int i = 0; i < 2 * kEach; ++i)
        serials.insert(dbtest::readLe32(bytes, kFirstRecord + i * kRecordSize));
    EXPECT_EQ(serials.size(), static_cast<size_t>(2 * kEach));
    EXPECT_EQ(*serials.begin(), 1);
    EXPECT_EQ(*serials.rbegin(), 2 * kEach);
}

} // namespace
