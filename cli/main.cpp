#include "cli/CliTool.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tidewright-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    TCliTool tool(out, err);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int code = tool.Run(arguments);
    out.flush();
    err.flush();
    return code;
}
