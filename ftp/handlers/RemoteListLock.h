#pragma once
// Workers that change the remote list as a whole (a listing, a disconnect,
// the row of a created folder) hold this lock while they do, so that one
// never puts its rows between another's.
#include <mutex>

std::mutex& remoteListMutex();
