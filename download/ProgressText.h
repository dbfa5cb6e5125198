// The texts and the refresh rule of a running download's display: amounts, time left, rate, the
// percentage caption, and when each figure changes. Pure functions; any thread may call them.
#pragma once

#include "download/TransferSink.h"

#include <cstdint>
#include <string>

namespace zarn {

// A byte count: "1023 Bytes", "1.0 KB" (from 1,024), "1.00 MB" (from 1,048,576).
std::string FormatAmount(std::uint64_t bytes);

// Seconds left: "59 sec", "1 min", "1 min 1 sec"; there is no hour unit ("60 min").
std::string FormatTimeLeft(std::uint64_t seconds);

// The time-left line: "2 min 5 sec (1.50 MB of 3.00 MB copied)".
std::string FormatTimeLeftLine(std::uint64_t seconds, std::uint64_t bytesCopied, std::uint64_t bytesTotal);

// A rate in bytes per millisecond: below 1 (or NaN) as bytes per second (x1024, "512 Bytes/Sec"),
// below 10 with two decimals ("2.50 KB/Sec"), else whole ("13 KB/Sec").
std::string FormatRate(double bytesPerMs);

// The window caption for a percentage: "42% of file.txt Completed".
std::string FormatPercentCaption(int percent, const std::string& shownName);

// A download's one-line progress, as the console shows it: the percentage caption (or the file's shown name before
// there is one), then the time-left line and the rate, each when there is one.
std::string FormatProgressLine(const std::string& caption, const std::string& shownName, const std::string& timeLeft,
                               const std::string& rate);

// The question put when a server asks for credentials, the same in the window and on the terminal: "The proxy
// server host asks for a user name and password." (or "The web server ...").
std::string FormatCredentialsQuestion(bool proxy, const std::string& host);

// The tick count in milliseconds that the refresh rule measures with (wraps after 2^32 ms). Any thread.
std::uint32_t CurrentTick();

// Called after every piece of the body and once after the last: shows the percentage when its whole
// value changed (never 0; a length of 0 counts as 100%), and the rate and time left when more than
// 1,000 ms have passed since `lastTick` (32-bit difference, so the counter's wrap does no harm).
// Updates lastTick, bytesAtLastTick and lastPercent. Calls only the sink's display members.
void RefreshTransferFigures(TransferSink& sink, std::uint32_t startTick, std::uint32_t& lastTick,
                            std::uint64_t bytesSoFar, std::uint64_t& bytesAtLastTick, int& lastPercent, bool haveLength,
                            std::uint64_t contentLength, std::uint32_t nowTick);

} // namespace zarn
