#pragma once
#include "ftp/handlers/CurrentSession.h"

#include <cstdint>
#include <string>

// Starts the 500 ms progress watch of a download on the session into
// localPath of the expected size (the size column's KB figure times 1024).
void startDownloadWatch(const SessionHandle& session, const std::string& localPath, float expectedBytes);

// Starts the watch of an upload of that many bytes on the session: the bar
// follows its count of bytes sent.
void startUploadWatch(const SessionHandle& session, int64_t totalBytes);

// Stops the watch and empties the bar.
void stopProgressWatch();

// Percentage shown for done of total bytes: truncated toward zero, 0 when
// the quotient is not a finite number, kept within 0..100.
int progressPercent(double done, double total);

// The timers' ticks: the download's file size, an upload's bytes sent.
void downloadProgressTick();
void remoteWatchTick();
