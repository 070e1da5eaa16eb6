#pragma once
#include <QString>

// "Version " + major + "." + minor with at least two digits: Version 1.01.
QString gsGetVersion();
QString gsGetVersion(int major, int minor);
