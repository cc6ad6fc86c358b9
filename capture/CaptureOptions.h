#pragma once

#include <QString>

// What a capture is started with: from the capture dialog or `qorlog --capture`.
struct TCaptureOptions
{
    static constexpr int DefaultBaud = 9600;
    static constexpr int DefaultIdleSeconds = 30;
    static constexpr int MinimumIdleSeconds = 2;
    static constexpr int MaximumIdleSeconds = 3600;

    QString device; // a path: /dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal
    int baud = DefaultBaud;
    int idleSeconds = DefaultIdleSeconds; // a charge ends after this long without a line
    bool addWithoutAsking = false;        // store the record at once instead of asking
};
