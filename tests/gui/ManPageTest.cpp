#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>

namespace {

struct Answer {
    int status = -1;
    QString out;
};

// Without any display: --help and --version must not need one.
Answer run(const QString& program, const QString& argument) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("TAVREL_BIN_DIR") + QLatin1Char('/') + program, {argument});
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

// The words a reader sees: comments, layout requests and the escapes that
// only set fonts, break points or hyphens are left out.
QString roffText(const QStringList& lines) {
    static const QRegularExpression textMacro(
        QStringLiteral(R"(^\.(?:B|I|BR|BI|IB|IR|RB|RI|SY|SH|SS|TH)(?:\s|$))"));
    static const QRegularExpression fontOrBreak(
        QStringLiteral(R"(\\f(?:\[[^\]]*\]|\(..|.)|\\[:&%c])"));
    QString text;
    for (QString line : lines) {
        if (line.startsWith(QLatin1Char('.'))) {
            if (!textMacro.match(line).hasMatch()) continue;
            line = line.mid(line.indexOf(QLatin1Char(' ')) + 1).remove(QLatin1Char('"'));
        }
        line.remove(fontOrBreak);
        line.replace(QLatin1String("\\-"), QLatin1String("-"));
        line.replace(QLatin1String("\\(aq"), QLatin1String("'"));
        line.replace(QLatin1String("\\e"), QLatin1String("\\"));
        text += line + QLatin1Char('\n');
    }
    return text;
}

QStringList section(const QStringList& lines, const QString& name) {
    const qsizetype start = lines.indexOf(QStringLiteral(".SH ") + name);
    if (start < 0) return {};
    qsizetype end = start + 1;
    while (end < lines.size() && !lines[end].startsWith(QLatin1String(".SH "))) ++end;
    return lines.mid(start + 1, end - start - 1);
}

QStringList matches(const QRegularExpression& pattern, const QString& text) {
    QStringList found;
    for (const QRegularExpressionMatch& m : pattern.globalMatch(text))
        if (!found.contains(m.captured(1))) found << m.captured(1);
    return found;
}

bool containsWord(const QString& text, const QString& word) {
    return text.contains(QRegularExpression(QStringLiteral("(?<![\\w-])") +
                                            QRegularExpression::escape(word) +
                                            QStringLiteral("(?![\\w-])")));
}

// The lines of the usage text that show how the program is called.
QStringList usageLines(const QString& help) {
    QStringList usage;
    for (const QString& line : help.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("用法：")) ||
            (!usage.isEmpty() && line.startsWith(QLatin1Char(' '))))
            usage << line;
        else if (!usage.isEmpty())
            break;
    }
    return usage;
}

}  // namespace

TEST(ManPage, SaysWhatTheProgramsHelpSays) {
    const QRegularExpression option(QStringLiteral(R"((?<![\w-])(--[a-z][a-z0-9-]*|-h)(?![\w-]))"));
    const QRegularExpression longOption(QStringLiteral(R"((?<![\w-])(--[a-z][a-z0-9-]*))"));
    const QRegularExpression synopsisWord(QStringLiteral(R"(^[a-z][a-z0-9-]*$)"));
    const QRegularExpression title(QStringLiteral(R"re(^\.TH (\S+) 1 \S+ "Tavrel ([^"]+)")re"));
    // Every program answers these alike, whether its usage text names them or not.
    const QStringList common = {QStringLiteral("--help"), QStringLiteral("-h"),
                                QStringLiteral("--version")};
    for (const QString& program :
         {QStringLiteral("tavrel"), QStringLiteral("tavrel-check"),
          QStringLiteral("tavrel-library"), QStringLiteral("tavrel-server")}) {
        SCOPED_TRACE(program.toStdString());
        QFile file(qEnvironmentVariable("TAVREL_SOURCE_DIR") + QStringLiteral("/docs/man/") +
                   program + QStringLiteral(".1"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        const QString page = roffText(lines);
        QRegularExpressionMatch heading;
        for (const QString& line : lines)
            if (!heading.hasMatch()) heading = title.match(line);
        ASSERT_TRUE(heading.hasMatch());
        EXPECT_EQ(
            heading.captured(1).replace(QLatin1String("\\-"), QLatin1String("-")).toStdString(),
            program.toUpper().toStdString());
        EXPECT_TRUE(roffText(section(lines, QStringLiteral("NAME")))
                        .startsWith(program + QStringLiteral(" - ")));

        const Answer help = run(program, QStringLiteral("--help"));
        ASSERT_EQ(help.status, 0);
        ASSERT_TRUE(help.out.startsWith(QStringLiteral("用法：") + program))
            << help.out.toStdString();
        const Answer shortHelp = run(program, QStringLiteral("-h"));
        EXPECT_EQ(shortHelp.status, 0);
        EXPECT_EQ(shortHelp.out.toStdString(), help.out.toStdString());
        const Answer version = run(program, QStringLiteral("--version"));
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(
            version.out.toStdString(),
            (program + QLatin1Char(' ') + heading.captured(2) + QLatin1Char('\n')).toStdString());

        QStringList options = matches(option, help.out);
        EXPECT_FALSE(options.isEmpty());
        for (const QString& name : common)
            if (!options.contains(name)) options << name;
        for (const QString& name : options)
            EXPECT_TRUE(containsWord(page, name)) << name.toStdString();
        // Subcommands and the values an option takes.
        const QRegularExpression separators(QStringLiteral(R"([\s|\[\]]+)"));
        for (QString line : usageLines(help.out)) {
            line.remove(QStringLiteral("用法："));
            for (const QString& word : line.split(separators, Qt::SkipEmptyParts)) {
                if (word == program || !synopsisWord.match(word).hasMatch()) continue;
                EXPECT_TRUE(containsWord(page, word)) << word.toStdString();
            }
        }

        const QStringList described =
            matches(longOption, roffText(section(lines, QStringLiteral("OPTIONS"))));
        EXPECT_FALSE(described.isEmpty());
        for (const QString& name : described)
            EXPECT_TRUE(options.contains(name)) << name.toStdString();
    }
}
