#pragma once
// The two options a terminal user expects of a Linux program. They are answered before the
// application object exists, so they need no display and open no window. Every other command
// line is the picture the viewer opens, as it always was.
#include <QString>
#include <QStringList>

#include <optional>

// The arguments after the program's own name, as the operating system passed them.
QStringList commandArguments(int argc, const char* const* argv);

// The text to print for "--help"/"-h" or "--version" given as the only argument; nothing for
// any other command line, which the program then takes as a picture path.
std::optional<QString> terminalAnswer(const QStringList& arguments);

QString helpText();
QString versionText();
