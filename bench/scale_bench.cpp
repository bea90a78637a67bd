// Tavrel at scale: a library of 200,000 entries, a document of 50 MB and a
// directory of 10,000 documents, each proofread by the scan alone and by the
// main window (offscreen). Every run is a process of its own, so that its peak
// memory is its own; the figures are printed beside the aim of at most four
// times the input plus 100 MB.
//
// scale_bench [--quick]     (--quick: a tenth of every size)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

#include "documents/DocumentFile.h"
#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/documents/DirectoryBox.h"
#include "library/WordDatabase.h"
#include "platform/Prompter.h"
#include "platform/SystemPlatform.h"
#include "proofread/Scanner.h"
#include "text/GbkCodec.h"

extern char** environ;

namespace {

// Answers every box with OK.
class QuietPrompter : public Prompter {
  public:
    Answer message(Icon, const QString&, const QString&, Buttons buttons) override {
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    QStringList openFiles(const FileDialog&) override { return {}; }
    QString saveFile(const FileDialog&) override { return {}; }
};

// This computer, with the library in the scenario's directory and no network.
class BenchPlatform : public SystemPlatform {
  public:
    explicit BenchPlatform(QString directory) : directory_(std::move(directory)) {}
    QString programDirectory() override { return directory_ + QLatin1Char('/'); }
    bool isOnline() override { return false; }

  private:
    QString directory_;
};

// Characters of the GBK level-1 block, in the shape of prose.
class Prose {
  public:
    explicit Prose(unsigned seed) : random_(seed) {}
    QByteArray character() {
        const int lead = 0xB0 + int(random_() % 40);
        const int trail = 0xA1 + int(random_() % 94);
        QByteArray c(2, Qt::Uninitialized);
        c[0] = char(lead);
        c[1] = char(trail);
        return c;
    }
    QByteArray word(int characters) {
        QByteArray w;
        for (int i = 0; i < characters; ++i) w += character();
        return w;
    }
    // `size` bytes with the given forms sown in every few hundred bytes.
    QByteArray text(qsizetype size, const std::vector<QByteArray>& forms) {
        QByteArray out;
        out.reserve(size + 64);
        while (out.size() < size) {
            out += character();
            const unsigned r = random_();
            if (r % 40 == 0) out += "\r\n";
            if (r % 150 == 0 && !forms.empty()) out += forms[random_() % forms.size()];
        }
        out.truncate(size - size % 2);
        return out;
    }
    unsigned next() { return random_(); }

  private:
    std::mt19937 random_;
};

struct Scenario {
    const char* name;
    int entries;
    int documents;
    qsizetype documentBytes;
};

// The library and the documents of a scenario, in `dir`; the input size.
qint64 prepare(const Scenario& s, const QString& dir) {
    Prose prose(20260314);
    std::vector<QByteArray> forms;
    WordDatabase db;
    if (db.open(dir + QStringLiteral("/jdck.mdb")) != WordDatabase::OpenResult::Created) return -1;
    std::vector<WordEntry> entries;
    entries.reserve(size_t(s.entries));
    for (int i = 0; i < s.entries; ++i) {
        WordEntry e;
        e.tgrade = gbk(QStringLiteral("基本"));
        e.tclass = gbk(QStringLiteral("通用"));
        e.terror = prose.word(2 + int(prose.next() % 3));
        e.tright = prose.word(2);
        if (i % 4 == 0) e.tbut = prose.character() + e.terror + ';' + e.terror + prose.character();
        if (i % 50 == 0) forms.push_back(e.terror);
        entries.push_back(std::move(e));
    }
    if (!db.addEntries(entries)) return -1;
    db.close();
    qint64 input = QFileInfo(dir + QStringLiteral("/jdck.mdb")).size();
    QDir().mkpath(dir + QStringLiteral("/docs"));
    for (int d = 0; d < s.documents; ++d) {
        const QByteArray text = prose.text(s.documentBytes, forms);
        if (!DocumentFile::write(
                dir + QStringLiteral("/docs/%1.txt").arg(d, 5, 10, QLatin1Char('0')), text))
            return -1;
        input += text.size();
    }
    return input;
}

// In the child: the scan alone, as the command line does it.
int runScan(const QString& dir) {
    WordDatabase db;
    if (db.open(dir + QStringLiteral("/jdck.mdb")) != WordDatabase::OpenResult::Opened) return 1;
    std::vector<EntryLine> lines;
    for (const WordEntry& e : db.entriesForMode(ProofreadMode::Professional))
        lines.push_back(EntryLine::fromEntry(e));
    db.close();
    const Scanner scanner(std::move(lines));
    const QString docs = dir + QStringLiteral("/docs");
    size_t hits = 0;
    for (const QString& name : documentNames(docs, documentSuffixes()))
        if (const auto text = DocumentFile::read(documentPath(docs, name)))
            hits += scanner.scan(*text).size();
    std::printf("%zu hits %zu entries %d docs\n", hits, scanner.entries().size(),
                int(documentNames(docs, documentSuffixes()).size()));
    return 0;
}

// In the child: the main window's proofreading pass over the directory.
int runWindow(const QString& dir) {
    BenchPlatform platform(dir);
    QuietPrompter prompter;
    ProgramState state;
    MainWindow window(state, platform, prompter);
    window.show();
    auto* box = window.findChild<DirectoryBox*>(QStringLiteral("directoryBox"));
    box->setDirectory(dir);
    for (int i = 0; i < box->count(); ++i)
        if (box->item(i)->text() == QLatin1String("docs")) emit box->itemActivated(box->item(i));
    window.findChild<QAction*>(QStringLiteral("menuProfessional"))->trigger();
    window.findChild<QAction*>(QStringLiteral("menuProofread"))->trigger();
    std::printf("%d hits\n",
                window.findChild<QTableView*>(QStringLiteral("resultGrid"))->model()->rowCount());
    return 0;
}

struct Measured {
    bool ok = false;
    double seconds = 0;
    double peakMB = 0;
    QByteArray said;
};

Measured measure(const char* self, const char* what, const QString& dir) {
    Measured m;
    const QString outPath = dir + QStringLiteral("/out.txt");
    const QByteArray dirBytes = QFile::encodeName(dir);
    const QByteArray outBytes = QFile::encodeName(outPath);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outBytes.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* argv[] = {const_cast<char*>(self), const_cast<char*>("--run"), const_cast<char*>(what),
                    const_cast<char*>(dirBytes.constData()), nullptr};
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, self, &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) return m;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    m.seconds = double(timer.elapsed()) / 1000;
    m.peakMB = double(usage.ru_maxrss) / 1024;  // kilobytes on Linux
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    QFile out(outPath);
    if (out.open(QIODevice::ReadOnly)) m.said = out.readAll().trimmed();
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && QByteArray(argv[1]) == "--run") {
        QApplication app(argc, argv);
        const QString dir = QFile::decodeName(argv[3]);
        return QByteArray(argv[2]) == "scan" ? runScan(dir) : runWindow(dir);
    }
    const bool quick = argc > 1 && QByteArray(argv[1]) == "--quick";
    const int f = quick ? 10 : 1;
    const Scenario scenarios[] = {
        {"200,000-entry library", 200000 / f, 20, 64 * 1024},
        {"50 MB document", 2000, 1, 50 * 1024 * 1024 / f},
        {"10,000 documents", 2000, 10000 / f, 4 * 1024},
    };
    QApplication app(argc, argv);
    std::printf("%-24s %-7s %9s %9s %11s %11s  %s\n", "scenario", "run", "input MB", "seconds",
                "peak MB", "aim MB", "result");
    bool allWithinAim = true;
    for (const Scenario& s : scenarios) {
        QTemporaryDir dir;
        const qint64 input = prepare(s, dir.path());
        if (input < 0) {
            std::fprintf(stderr, "%s: cannot prepare the files\n", s.name);
            return 1;
        }
        const double inputMB = double(input) / (1024 * 1024);
        const double aimMB = 4 * inputMB + 100;
        for (const char* what : {"scan", "window"}) {
            const Measured m = measure(argv[0], what, dir.path());
            const bool within = m.ok && m.peakMB <= aimMB;
            allWithinAim = allWithinAim && within;
            std::printf("%-24s %-7s %9.1f %9.2f %11.1f %11.1f  %s%s\n", s.name, what, inputMB,
                        m.seconds, m.peakMB, aimMB,
                        !m.ok    ? "FAILED "
                        : within ? "ok "
                                 : "OVER ",
                        m.said.constData());
            std::fflush(stdout);
        }
    }
    return allWithinAim ? 0 : 1;
}
