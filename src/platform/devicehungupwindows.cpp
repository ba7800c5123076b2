#include "devicehungup.h"

#include <windows.h>

bool deviceHungUp(qintptr handle)
{
    // A COM port whose adapter was pulled fails every request for its line settings; a
    // passing read or write error leaves them readable.
    DCB settings = {};
    settings.DCBlength = sizeof(settings);
    return !GetCommState(reinterpret_cast<HANDLE>(handle), &settings);
}
