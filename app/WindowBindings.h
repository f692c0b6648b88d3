#pragma once
// The handlers behind each event of the two windows.
#include "app/forms/WindowEvents.h"

MainWindowEvents mainWindowEvents();
ServerManagerEvents serverManagerEvents();
