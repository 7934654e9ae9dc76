// quillon: the desktop program.
//
//   quillon [--data-dir DIR] [--jobs K]
//
// The data directory holds the settings and every result and summary file; it is
// $XDG_DATA_HOME/Quillon (or ~/.local/share/Quillon) unless DIR is given. --jobs K computes
// K combinations of a run at once (default 1).
#include "app/program.h"
#include "app/welcome_window.h"
#include "core/files.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    // No display name: on Linux desktops it would be appended to every window's caption
    // ("Analysing data — Quillon"), and the captions are the windows' own texts.
    QApplication::setDesktopFileName(QStringLiteral("quillon"));
    // The icon of the desktop theme once installed, or the one installed beside the program.
    const QString installedIcon =
        QCoreApplication::applicationDirPath() +
        QStringLiteral("/../share/icons/hicolor/scalable/apps/quillon.svg");
    QApplication::setWindowIcon(QIcon::fromTheme(
        QStringLiteral("quillon"), QFile::exists(installedIcon) ? QIcon(installedIcon) : QIcon()));

    std::filesystem::path dataDirectory = quillon::DefaultDataDirectory();
    unsigned jobs = 1;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--data-dir") && i + 1 < arguments.size()) {
            dataDirectory = arguments[++i].toStdString();
        } else if (argument.startsWith(QStringLiteral("--data-dir="))) {
            dataDirectory = argument.mid(11).toStdString();
        } else if (argument == QStringLiteral("--jobs") && i + 1 < arguments.size()) {
            bool whole = false;
            const int k = arguments[++i].toInt(&whole);
            if (!whole || k < 1 || k > 256) {
                std::fprintf(stderr, "quillon: --jobs must be a whole number from 1 to 256\n");
                return 2;
            }
            jobs = static_cast<unsigned>(k);
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            std::printf("usage: quillon [--data-dir DIR] [--jobs K]\n"
                        "  The desktop program for 2 x 2 tables. Settings and results are kept "
                        "in\n  DIR (default %s). --jobs K computes K combinations of a run at "
                        "once.\n",
                        quillon::DefaultDataDirectory().string().c_str());
            return 0;
        } else {
            std::fprintf(stderr, "quillon: unknown argument '%s' (try --help)\n",
                         argument.toLocal8Bit().constData());
            return 2;
        }
    }

    quillon::Program program(dataDirectory, jobs);
    program.ShowWelcome();
    return QApplication::exec();
}
