#include "player/command_line.h"

#include <QFileInfo>

namespace hv::player {

QString UsageText(const QString& program) {
    return QStringLiteral(
               "Usage: %1 [--stats] [FILE]\n"
               "Plays a 360-degree doughnut video as a pannable perspective view.\n"
               "\n"
               "  FILE        the video to open at start-up\n"
               "  --stats     print the presented frames per second to stderr\n"
               "              every five seconds (also HV_STATS=1)\n"
               "  --help      show this text and exit\n"
               "  --version   show the version and exit\n")
        .arg(program);
}

CommandLine ParseCommandLine(const QStringList& args) {
    CommandLine out;
    const QString program =
        args.isEmpty() ? QStringLiteral("hvplayer") : QFileInfo(args.first()).fileName();
    const auto usageError = [&](const QString& what) {
        out.exitCode = 2;
        out.output = QStringLiteral("%1: %2\nUsage: %1 [--stats] [FILE]  (see %1 --help)\n")
                         .arg(program, what);
        return out;
    };
    bool optionsEnded = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!optionsEnded && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            if (a == QLatin1String("--")) {
                optionsEnded = true;
            } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
                out.exitCode = 0;
                out.output = UsageText(program);
                return out;
            } else if (a == QLatin1String("--version")) {
                out.exitCode = 0;
                out.output = QStringLiteral("%1 %2\n").arg(program, QStringLiteral(HV_VERSION));
                return out;
            } else if (a == QLatin1String("--stats")) {
                out.stats = true;
            } else {
                return usageError(QStringLiteral("unknown option '%1'").arg(a));
            }
            continue;
        }
        if (!out.file.isEmpty()) return usageError(QStringLiteral("more than one file given"));
        out.file = a;
    }
    return out;
}

}  // namespace hv::player
