#pragma once
// Start-up timing for the benchmark: the logging category "pixelion.startup", off unless
// QT_LOGGING_RULES switches it on ("pixelion.startup.info=true"), and the clock it reads.
#include <QLoggingCategory>

namespace display {

Q_DECLARE_LOGGING_CATEGORY(lcStartup)

// Milliseconds since the program's static data was set up, just before main(). Any thread.
double msSinceProcessStart();

} // namespace display
