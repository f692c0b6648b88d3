#pragma once
// Why a remote operation failed, in terms a caller can act on whatever the
// protocol: retry it, give up, wait for the server to have room, or stop
// because the user asked to.

enum class TransferFailure {
    None,                // the operation succeeded (or nothing ran yet)
    Transient,           // the link or the server's state: reconnect and try again
    Permanent,           // the same request would fail the same way again
    TooManyConnections,  // the server turned the connection away for its limit: wait, then connect again
    Aborted,             // ended by abort(), abortRunningOperation() or a later connect
};

// A failure that trying again (after a reconnect, if the connection is gone)
// may cure.
inline bool worthRetrying(TransferFailure failure) {
    return failure == TransferFailure::Transient || failure == TransferFailure::TooManyConnections;
}
