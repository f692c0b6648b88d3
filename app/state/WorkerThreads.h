#pragma once
// Long work runs on worker threads started fire-and-forget. They are kept
// in a registry so that closing the main window can stop them and wait for
// them instead of leaving them running against destroyed windows.
#include <functional>

// Starts the work on a new thread; returns at once.
void startWorker(std::function<void()> work);

int runningWorkers();

// True once the window is closing: batches leave their loops.
bool workersStopping();

// Waits up to ms for a stop: returns false at once when stopped() holds,
// or the window is closing, or as soon as either comes true (woken by
// wakeWaitingWorkers); true when the time ran out. Not a sleep: a retry's
// wait must end the moment the user stops. stopped() runs under the wait's
// lock: it reads flags, it never waits (no control calls).
bool waitUnlessStopped(int ms, const std::function<bool()>& stopped);

// Wakes every waitUnlessStopped to look at its stop condition again: called
// where a stop is asked for (停止, 断开; closing the window does it itself).
void wakeWaitingWorkers();

// Called by the close handler before it waits, to unblock workers stuck in
// network calls (the FTP connection is aborted).
void setWorkerAbortHook(std::function<void()> hook);

// UI thread: asks every worker to stop, runs the abort hook, and waits for
// all of them while still processing events (a worker may be waiting for the
// UI thread to carry out a control call). Returns true when all ended within
// the time limit.
bool stopWorkersAndWait(int timeoutMs = 30000);

// Waits for all workers without asking them to stop (tests).
bool waitForWorkers(int timeoutMs = 30000);

// Lets new workers start again after a stop (tests run several windows).
void resetWorkers();
