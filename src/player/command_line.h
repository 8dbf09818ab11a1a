// hvplayer's command line: `hvplayer [--stats] [FILE]`, plus --help and
// --version, which print and end the program. Plain Qt Core: parsed before
// any window (or display connection) exists.
#pragma once

#include <QString>
#include <QStringList>

namespace hv::player {

struct CommandLine {
    bool stats = false;
    QString file;  // empty: none
    // -1: start the player. Otherwise end at once with this status after
    // printing `output` (to stdout for 0, stderr otherwise).
    int exitCode = -1;
    QString output;
};

// `args` as QCoreApplication::arguments() gives them (program name first).
// "--" ends the options: what follows is a file name even when it starts
// with "-". More than one file, or an unknown option, is a usage error.
CommandLine ParseCommandLine(const QStringList& args);

// The usage text --help prints.
QString UsageText(const QString& program);

}  // namespace hv::player
