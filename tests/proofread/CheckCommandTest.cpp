#include <gtest/gtest.h>

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <random>

#include "library/LibraryCommand.h"
#include "library/WordDatabase.h"
#include "proofread/CheckCommand.h"
#include "support/AsNobody.h"
#include "support/BytePath.h"
#include "text/FileName.h"
#include "text/GbkCodec.h"

namespace {

// A library text, documents and the program's own library in a temporary directory.
class CheckCommandTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) {
        const QString p = path(name);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return p;
    }
    QString library() {
        return write(QStringLiteral("lib.tsv"),
                     QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n"
                                    "基本\t通用\t按装\t安装\t\n"
                                    "高级\t通用\t的的\t的\t的的确确\n"
                                    "专业\t通用\tabc\tABC\t\n")
                         .toUtf8());
    }

    struct Result {
        int status;
        QByteArray out, err;
    };
    Result run(QStringList args) {
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = runCheckCommand(args, path(QStringLiteral("prog/jdck.mdb")),
                                           path(QStringLiteral("journal")), out, err);
        return {status, out.data(), err.data()};
    }
};

TEST_F(CheckCommandTest, PrintsOneLinePerHitInScanOrder) {
    const QString lib = library();
    write(QStringLiteral("docs/b.txt"), gbk(QStringLiteral("他的的确确按装了，我的的书按装好")));
    write(QStringLiteral("docs/a.fbd"), gbk(QStringLiteral("abc 按装")));
    write(QStringLiteral("docs/c.doc"), gbk(QStringLiteral("按装")));
    const Result r = run({QStringLiteral("--library"), lib, QStringLiteral("--mode"),
                          QStringLiteral("professional"), path(QStringLiteral("docs"))});
    EXPECT_EQ(r.out, QStringLiteral("1\ta.fbd\t5;8\t按装\t安装\n"
                                    "2\ta.fbd\t1;3\tabc\tABC\n"
                                    "3\tb.txt\t11;14\t按装\t安装\n"
                                    "4\tb.txt\t27;30\t按装\t安装\n"
                                    "5\tb.txt\t21;24\t的的\t的\n")
                         .toUtf8());
    EXPECT_EQ(r.err, QStringLiteral("5 处, 2 个文件\n").toUtf8());
    EXPECT_EQ(r.status, 1);
}

// One fixed document in every output format: the text lines stay as they
// were; jsonl, csv and sarif give the file as named, lines and columns in
// characters, the context.
TEST_F(CheckCommandTest, EveryFormatGivesTheSameHit) {
    const QString lib = library();
    write(QStringLiteral("docs/a.txt"), QStringLiteral("标题\n我们按装好了").toUtf8());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const char* const context = "标题⏎我们【按装】好了";
    const QString sarif =
        QStringLiteral(
            R"({"$schema":"https://json.schemastore.org/sarif-2.1.0.json","version":"2.1.0","runs":[{)"
            R"("columnKind":"unicodeCodePoints","tool":{"driver":{"name":"tavrel-check","version":")" TAVREL_VERSION
            R"(","rules":[{"id":"按装","shortDescription":{"text":"“按装”有误"}}]}},"results":[{)"
            R"("ruleId":"按装","ruleIndex":0,"level":"warning","message":{"text":"“按装”应为“安装”"},)"
            R"("locations":[{"physicalLocation":{"artifactLocation":{"uri":"docs/a.txt"},"region":{)"
            R"("startLine":2,"startColumn":3,"endLine":2,"endColumn":5,"snippet":{"text":"按装"}}}}],)"
            R"("fixes":[{"description":{"text":"改为“安装”"},"artifactChanges":[{"artifactLocation":)"
            R"({"uri":"docs/a.txt"},"replacements":[{"deletedRegion":{"startLine":2,"startColumn":3,)"
            R"("endLine":2,"endColumn":5},"insertedContent":{"text":"安装"}}]}]}],)"
            R"("properties":{"context":"%1"}}]}]})")
            .arg(QString::fromUtf8(context));
    const std::map<QString, QString> expected = {
        {QStringLiteral("text"), QStringLiteral("1\ta.txt\t14;19\t按装\t安装\n")},
        {QStringLiteral("jsonl"),
         QStringLiteral(R"({"column":3,"context":"%1","encoding":"UTF-8","end":19,)"
                        R"("file":"docs/a.txt","line":2,"right":"安装","start":14,"wrong":"按装"})"
                        "\n")
             .arg(QString::fromUtf8(context))},
        {QStringLiteral("csv"), QStringLiteral("\uFEFF序号,文件名,位置,行,列,误,正,上下文,修改\r\n"
                                               "1,docs/a.txt,14;19,2,3,按装,安装,%1,是\r\n")
                                    .arg(QString::fromUtf8(context))},
        {QStringLiteral("sarif"), sarif}};
    for (const auto& [format, text] : expected) {
        SCOPED_TRACE(format.toStdString());
        const Result r = run({QStringLiteral("--library"), lib, QStringLiteral("--format"), format,
                              QStringLiteral("docs/a.txt")});
        EXPECT_EQ(r.status, 1);
        if (format == QLatin1String("sarif")) {
            EXPECT_EQ(QJsonDocument::fromJson(r.out), QJsonDocument::fromJson(text.toUtf8()));
            // And the published schema takes it.
            QFile log(path(QStringLiteral("log.sarif")));
            ASSERT_TRUE(log.open(QIODevice::WriteOnly));
            log.write(r.out);
            log.close();
            const QString data = qEnvironmentVariable("TAVREL_TEST_DATA");
            QProcess validator;
            validator.start(QStringLiteral("python3"),
                            {data + QStringLiteral("/../../scripts/validate-sarif.py"),
                             data + QStringLiteral("/sarif-schema-2.1.0.json"), log.fileName()});
            ASSERT_TRUE(validator.waitForFinished(60000));
            EXPECT_EQ(validator.exitCode(), 0) << validator.readAll().toStdString();
        } else {
            EXPECT_EQ(r.out, text.toUtf8());
        }
    }
    QDir::setCurrent(before);
}

// Characters are counted as publishers count them: every character but
// spaces and line breaks, and no markup in an HTML document.
TEST_F(CheckCommandTest, StatsGiveEachDocumentsCharactersAndErrorRate) {
    const QString lib = library();
    write(QStringLiteral("docs/a.txt"), gbk(QStringLiteral("我们按装好了。 abc 12\n")));
    write(QStringLiteral("docs/b.htm"), gbk(QStringLiteral("<p class=\"x\">按装</p>\n")));
    write(QStringLiteral("docs/c.txt"), gbk(QStringLiteral("　\n")));
    const Result r =
        run({QStringLiteral("--library"), lib, QStringLiteral("--stats"),
             QStringLiteral("--format"), QStringLiteral("jsonl"), path(QStringLiteral("docs"))});
    const QString said = QString::fromUtf8(r.err);
    EXPECT_TRUE(said.contains(QStringLiteral("a.txt：字数 12，错误 1 处，差错率 833.33（每万字）")))
        << said.toStdString();
    EXPECT_TRUE(
        said.contains(QStringLiteral("b.htm：字数 2，错误 1 处，差错率 5000.00（每万字）")));
    EXPECT_TRUE(said.contains(QStringLiteral("c.txt：字数 0，错误 0 处，差错率 0.00（每万字）")));
    EXPECT_TRUE(
        said.contains(QStringLiteral("合计：字数 14，错误 2 处，差错率 1428.57（每万字）")));
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    const QJsonObject summary = QJsonDocument::fromJson(lines[2]).object()["summary"].toObject();
    EXPECT_EQ(summary["characters"].toInt(), 14);
    EXPECT_EQ(summary["hits"].toInt(), 2);
    EXPECT_EQ(summary["documents"].toArray().size(), 3);
}

// Many documents on one thread or on four, named on the command line or in a
// list: the same bytes out, and --fix writes the same files.
TEST_F(CheckCommandTest, JobsAndFileListsChangeNothingInTheOutput) {
    const QString lib = library();
    std::mt19937 random(7);
    const QStringList pieces = {QStringLiteral("按装"), QStringLiteral("的的"),
                                QStringLiteral("好"), QStringLiteral("\n"), QStringLiteral("abc")};
    QByteArray list;
    for (int d = 0; d < 60; ++d) {
        QString text;
        for (int p = 0; p < int(random() % 40); ++p) text += pieces[int(random() % pieces.size())];
        const QString name = QStringLiteral("docs/%1.txt").arg(d, 3, 10, QLatin1Char('0'));
        list += path(name).toUtf8() + '\n';
        write(name, d % 3 ? gbk(text) : text.toUtf8());
    }
    write(QStringLiteral("list"), list);
    for (const char* format : {"text", "jsonl"}) {
        const QStringList common = {QStringLiteral("--library"), lib,
                                    QStringLiteral("--mode"),    QStringLiteral("professional"),
                                    QStringLiteral("--format"),  QString::fromLatin1(format)};
        const Result one = run(common + QStringList{QStringLiteral("--jobs"), QStringLiteral("1"),
                                                    path(QStringLiteral("docs"))});
        ASSERT_GT(one.out.count('\n'), 100) << format;
        EXPECT_EQ(run(common + QStringList{QStringLiteral("--jobs"), QStringLiteral("4"),
                                           path(QStringLiteral("docs"))})
                      .out,
                  one.out)
            << format;
        EXPECT_EQ(
            run(common + QStringList{QStringLiteral("--files-from"), path(QStringLiteral("list"))})
                .out,
            one.out)
            << format;
    }
    // Fixed on four threads, every document is what one thread would have made.
    std::map<QString, QByteArray> fixedByOne;
    QDir docs(path(QStringLiteral("docs")));
    const QStringList names = docs.entryList(QDir::Files);
    QDir().mkpath(path(QStringLiteral("copy")));
    for (const QString& name : names)
        QFile::copy(docs.filePath(name), path(QStringLiteral("copy/") + name));
    run({QStringLiteral("--library"), lib, QStringLiteral("--fix"), QStringLiteral("--jobs"),
         QStringLiteral("1"), path(QStringLiteral("copy"))});
    run({QStringLiteral("--library"), lib, QStringLiteral("--fix"), QStringLiteral("--jobs"),
         QStringLiteral("4"), path(QStringLiteral("docs"))});
    for (const QString& name : names) {
        QFile a(docs.filePath(name)), b(path(QStringLiteral("copy/") + name));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_EQ(a.readAll(), b.readAll()) << name.toStdString();
    }
}

TEST_F(CheckCommandTest, ModesArgumentOrderAndRepeatedFiles) {
    const QString lib = library();
    const QString doc = write(QStringLiteral("x.txt"), gbk(QStringLiteral("我的的书按装abc")));
    const QString other = write(QStringLiteral("y.htm"), gbk(QStringLiteral("按装")));
    auto wrongForms = [](const QByteArray& out) {
        QStringList forms;
        for (const QByteArray& line : out.split('\n'))
            if (!line.isEmpty())
                forms << QString::fromUtf8(line.split('\t')[1] + ":" + line.split('\t')[3]);
        return forms;
    };
    EXPECT_EQ(wrongForms(run({QStringLiteral("--library"), lib, doc}).out),
              QStringList({"x.txt:按装"}));
    EXPECT_EQ(wrongForms(run({QStringLiteral("--mode"), QStringLiteral("fine"),
                              QStringLiteral("--library"), lib, doc})
                             .out),
              QStringList({"x.txt:按装", "x.txt:的的"}));
    // Argument order, not name order; a file given twice is scanned twice.
    const Result twice = run({QStringLiteral("--library"), lib, other, doc, other});
    EXPECT_EQ(wrongForms(twice.out), QStringList({"y.htm:按装", "x.txt:按装", "y.htm:按装"}));
    EXPECT_TRUE(twice.out.startsWith("1\t") && twice.out.contains("\n3\ty.htm\t"));
    EXPECT_EQ(twice.err, QStringLiteral("3 处, 3 个文件\n").toUtf8());
}

TEST_F(CheckCommandTest, ExitStatusSaysWhatHappened) {
    const QString lib = library();
    const QString clean = write(QStringLiteral("clean.txt"), gbk(QStringLiteral("安装")));
    const QString dirty = write(QStringLiteral("dirty.txt"), gbk(QStringLiteral("按装")));
    EXPECT_EQ(run({QStringLiteral("--library"), lib, clean}).status, 0);
    EXPECT_EQ(run({QStringLiteral("--library"), lib, clean, dirty}).status, 1);

    // A missing document is said on stderr; the others are still done, and 2 wins.
    const Result missing =
        run({QStringLiteral("--library"), lib, path(QStringLiteral("no.txt")), dirty});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, QStringLiteral("1\tdirty.txt\t1;4\t按装\t安装\n").toUtf8());
    EXPECT_TRUE(missing.err.contains(path(QStringLiteral("no.txt")).toUtf8()));

    for (const QStringList& bad :
         {QStringList{}, QStringList{QStringLiteral("--mode"), QStringLiteral("slow"), clean},
          QStringList{QStringLiteral("--library")},
          QStringList{QStringLiteral("--frobnicate"), clean},
          QStringList{QStringLiteral("--library"), path(QStringLiteral("none.mdb")), clean}}) {
        const Result r = run(bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("none.mdb"))))
        << "a typing error made a library";
    // A text file that is not a library text is not taken for a library file either.
    const Result notLibrary = run({QStringLiteral("--library"), clean, dirty});
    EXPECT_EQ(notLibrary.status, 2);
    QFile cleanFile(clean);
    ASSERT_TRUE(cleanFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(cleanFile.readAll(), gbk(QStringLiteral("安装")));

    const Result help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--library"));
    EXPECT_EQ(run({QStringLiteral("--version")}).out, "tavrel-check " TAVREL_VERSION "\n");
}

TEST_F(CheckCommandTest, EachDocumentIsReadInItsEncodingOrTheOneGiven) {
    const QString lib = library();
    const QString utf8 = write(QStringLiteral("u8.txt"), QStringLiteral("我按装").toUtf8());
    const QString nul = write(QStringLiteral("nul.txt"), gbk(QStringLiteral("按装")) + '\0');
    const QString utf16 = write(QStringLiteral("u16.txt"),
                                QByteArray("\xFE\xFF\x62\x11\x63\x09\x88\xC5", 8));  // 我按装
    struct Case {
        QStringList args;
        int status;
        QByteArray out;
    };
    const QString enc = QStringLiteral("--encoding");
    const Case cases[] = {
        {{utf8}, 1, "1\tu8.txt\t4;9\t按装\t安装\n"},
        {{enc, QStringLiteral("GBK"), utf8}, 0, ""},
        {{nul}, 2, ""},  // not text
        {{enc, QStringLiteral("gbk"), nul}, 1, "1\tnul.txt\t1;4\t按装\t安装\n"},
        {{utf16}, 1, "1\tu16.txt\t5;8\t按装\t安装\n"},
        {{enc, QStringLiteral("auto"), utf16}, 1, "1\tu16.txt\t5;8\t按装\t安装\n"},
        {{enc, QStringLiteral("utf-16"), utf8}, 2, ""},
        {{QStringLiteral("--fix"), utf16}, 0, "1\tu16.txt\t5;8\t按装\t安装\n"},
    };
    for (const Case& c : cases) {
        const Result r = run(QStringList{QStringLiteral("--library"), lib} + c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString() << r.err.constData();
        EXPECT_EQ(r.out, QString::fromUtf8(c.out).toUtf8()) << c.args.join(' ').toStdString();
    }
    QFile fixed(utf16);
    ASSERT_TRUE(fixed.open(QIODevice::ReadOnly));
    EXPECT_EQ(fixed.readAll(), QByteArray("\xFE\xFF\x62\x11\x5B\x89\x88\xC5", 8));  // 我安装
}

TEST_F(CheckCommandTest, AReadOnlyLibraryIsApplied) {
    // Made by root, read as nobody: the program's own library and a named one.
    const QString own = path(QStringLiteral("prog/jdck.mdb"));
    QDir().mkpath(QFileInfo(own).absolutePath());
    {
        WordDatabase db;
        ASSERT_EQ(db.open(own), WordDatabase::OpenResult::Created);
        WordEntry e;
        e.tgrade = gbk(QStringLiteral("基本"));
        e.terror = gbk(QStringLiteral("按装"));
        e.tright = gbk(QStringLiteral("安装"));
        ASSERT_GT(db.addEntry(e), 0);
    }
    const QString dirty = write(QStringLiteral("dirty.txt"), gbk(QStringLiteral("按装")));
    for (const QString& d : {dir.path(), QFileInfo(own).absolutePath()})
        ASSERT_EQ(::chmod(QFile::encodeName(d).constData(), 0777), 0);
    ASSERT_TRUE(giveToNobody(own, 0444));
    const auto said = runAsNobody([&] {
        QByteArray results;
        for (const QStringList& args : {QStringList{dirty}, QStringList{"--library", own, dirty}}) {
            const Result r = run(args);
            results += QByteArray::number(r.status) + ' ' + r.out + r.err;
        }
        return results;
    });
    if (!said) GTEST_SKIP() << "needs root to act as another user";
    const QByteArray hit =
        "1 " + QStringLiteral("1\tdirty.txt\t1;4\t按装\t安装\n1 处, 1 个文件\n").toUtf8();
    EXPECT_EQ(*said, hit + hit);
    EXPECT_EQ(QDir(QFileInfo(own).absolutePath()).entryList(QDir::Files),
              QStringList{QStringLiteral("jdck.mdb")})
        << "files nobody could write left beside the library";
}

TEST_F(CheckCommandTest, FixCorrectsEveryHitAndSaysWhatItSkipped) {
    const QString lib =
        write(QStringLiteral("fix.tsv"), QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n"
                                                        "基本\t通用\t按装\t安装\t\n"
                                                        "基本\t通用\t的的\t的\t的的确确\n"
                                                        "基本\t通用\t装好\t装完\t\n")
                                             .toUtf8());
    const QString a =
        write(QStringLiteral("a.txt"), gbk(QStringLiteral("他的的确确按装了，我的的书\r\n")));
    const QString b = write(QStringLiteral("b.txt"), gbk(QStringLiteral("按装好")));
    const QString c = write(QStringLiteral("c.txt"), gbk(QStringLiteral("安装")));
    auto bytes = [](const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    };

    // b's two hits overlap: 按装 is corrected, 装好 is skipped.
    const Result fixed = run({QStringLiteral("--library"), lib, QStringLiteral("--fix"), a, b, c});
    EXPECT_EQ(fixed.status, 1);
    EXPECT_EQ(fixed.out.count('\n'), 4);  // the hits are listed as without --fix
    EXPECT_EQ(bytes(a), gbk(QStringLiteral("他的的确确安装了，我的书\r\n")));
    EXPECT_EQ(bytes(b), gbk(QStringLiteral("安装好")));
    EXPECT_EQ(bytes(c), gbk(QStringLiteral("安装")));
    EXPECT_TRUE(fixed.err.contains(QStringLiteral("跳过 1 处").toUtf8())) << fixed.err.constData();

    // A nested entry's row is skipped too, but goes with the correction around
    // it: nothing is left, so 0.
    const QString nested =
        write(QStringLiteral("nested.tsv"), QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n"
                                                           "基本\t通用\t按装\t安装\t\n"
                                                           "基本\t通用\t按装机器\t安装机器\t\n")
                                                .toUtf8());
    const QString d = write(QStringLiteral("d.txt"), gbk(QStringLiteral("按装机器")));
    const Result inside = run({QStringLiteral("--library"), nested, QStringLiteral("--fix"), d});
    EXPECT_EQ(inside.status, 0) << inside.err.constData();
    EXPECT_EQ(bytes(d), gbk(QStringLiteral("安装机器")));

    // Nothing left to correct: 0, and no file is written.
    const QDateTime before = QFileInfo(a).lastModified();
    const Result again = run({QStringLiteral("--library"), lib, QStringLiteral("--fix"), a, c});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.out.isEmpty());
    EXPECT_EQ(QFileInfo(a).lastModified(), before);
}

TEST_F(CheckCommandTest, FixedRunsUndoInTurnExceptDocumentsChangedSince) {
    auto library = [&](const char* name, const char* wrong, const char* right) {
        return write(QString::fromLatin1(name),
                     QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n基本\t通用\t%1\t%2\t\n")
                         .arg(QString::fromUtf8(wrong), QString::fromUtf8(right))
                         .toUtf8());
    };
    auto bytes = [](const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    };
    const QString first = library("1.tsv", "按装", "安装好"),
                  second = library("2.tsv", "装好", "置");
    const QByteArray gbkText = gbk(QStringLiteral("他按装了，\r\n又按装了")),
                     utf8Text = QStringLiteral("我按装了😀").toUtf8();
    const QString a = write(QStringLiteral("docs/a.txt"), gbkText);
    const QString u = write(QStringLiteral("docs/u.txt"), utf8Text);
    const QString c = write(QStringLiteral("docs/c.txt"), gbk(QStringLiteral("按装")));
    const QString docs = path(QStringLiteral("docs"));
    EXPECT_EQ(run({QStringLiteral("--undo")}).status, 2);  // nothing to undo yet

    ASSERT_EQ(run({QStringLiteral("--library"), first, QStringLiteral("--fix"), docs}).status, 0);
    const QByteArray gbkFixed = bytes(a), utf8Fixed = bytes(u);
    EXPECT_EQ(utf8Fixed, QStringLiteral("我安装好了😀").toUtf8());
    ASSERT_EQ(run({QStringLiteral("--library"), second, QStringLiteral("--fix"), docs}).status, 0);
    EXPECT_EQ(bytes(a), gbk(QStringLiteral("他安置了，\r\n又安置了")));
    write(QStringLiteral("docs/c.txt"), gbk(QStringLiteral("改过")));  // by hand, after both runs

    // The second run first, then the first; c.txt is named and kept both times.
    for (const QByteArray& gbkExpected : {gbkFixed, gbkText}) {
        const Result undone = run({QStringLiteral("--undo")});
        EXPECT_EQ(undone.status, 1);
        EXPECT_TRUE(undone.err.contains(("未能撤销 " + c).toUtf8())) << undone.err.constData();
        EXPECT_EQ(bytes(a), gbkExpected);
        EXPECT_EQ(bytes(c), gbk(QStringLiteral("改过")));
    }
    EXPECT_EQ(bytes(u), utf8Text);
    EXPECT_EQ(run({QStringLiteral("--undo")}).status, 2);

    // The journal keeps the last 20 runs.
    for (int i = 0; i < 22; ++i) {
        write(QStringLiteral("docs/a.txt"), gbkText);
        ASSERT_EQ(run({QStringLiteral("--library"), first, QStringLiteral("--fix"), a}).status, 0);
    }
    EXPECT_EQ(QDir(path(QStringLiteral("journal"))).entryList(QDir::Files).size(), 20);
}

TEST_F(CheckCommandTest, DiffShowsWhatFixWouldDoAndWritesNothing) {
    const QString lib = library();
    QByteArray text;
    for (int i = 1; i <= 12; ++i) text += gbk(QStringLiteral("第%1行\n").arg(i));
    text.replace(gbk(QStringLiteral("第2行")), gbk(QStringLiteral("按装")));
    text.replace(gbk(QStringLiteral("第11行")), gbk(QStringLiteral("按装按装")));
    const QString doc = write(QStringLiteral("d.txt"), text + gbk(QStringLiteral("尾按装")));
    const QString clean = write(QStringLiteral("clean.txt"), gbk(QStringLiteral("安装")));
    const Result diff =
        run({QStringLiteral("--library"), lib, QStringLiteral("--diff"), doc, clean});
    EXPECT_EQ(diff.status, 1);
    EXPECT_EQ(
        QString::fromUtf8(diff.out),
        QStringLiteral("--- %1\n+++ %1\n"
                       "@@ -1,5 +1,5 @@\n 第1行\n-按装\n+安装\n 第3行\n 第4行\n 第5行\n"
                       "@@ -8,6 +8,6 @@\n 第8行\n 第9行\n 第10行\n-按装按装\n+安装安装\n 第12行\n"
                       "-尾按装\n\\ No newline at end of file\n"
                       "+尾安装\n\\ No newline at end of file\n")
            .arg(doc));
    QFile unchanged(doc);
    ASSERT_TRUE(unchanged.open(QIODevice::ReadOnly));
    EXPECT_EQ(unchanged.readAll(), text + gbk(QStringLiteral("尾按装")));
    const Result none = run({QStringLiteral("--library"), lib, QStringLiteral("--diff"), clean});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_EQ(run({QStringLiteral("--diff"), QStringLiteral("--fix"), clean}).status, 2);
    EXPECT_EQ(run({QStringLiteral("--undo"), clean}).status, 2);
}

TEST_F(CheckCommandTest, WithoutLibraryANewInstallationGetsTheStarterLibrary) {
    const QString doc = write(QStringLiteral("a.txt"), gbk(QStringLiteral("工程峻工，脱颍而出")));
    QDir().mkpath(path(QStringLiteral("prog")));
    const Result r = run({doc});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("\t脱颍而出\t脱颖而出\n").toUtf8()))
        << r.out.constData();
    WordDatabase db;
    ASSERT_EQ(db.open(path(QStringLiteral("prog/jdck.mdb"))), WordDatabase::OpenResult::Opened);
    EXPECT_GT(db.allEntries().size(), 1000u);
}

TEST_F(CheckCommandTest, SpecialFilesAreNamedAsUnreadableAndNeverWaitedFor) {
    const QString lib = library();
    const QString fifo = path(QStringLiteral("pipe.txt"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString doc = write(QStringLiteral("a.txt"), gbk(QStringLiteral("按装")));
    for (const QStringList& fix : {QStringList(), QStringList{QStringLiteral("--fix")}}) {
        const Result r = run(fix + QStringList{QStringLiteral("--library"), lib, fifo,
                                               QStringLiteral("/dev/zero"), doc});
        EXPECT_EQ(r.status, 2);
        const QString said = QString::fromUtf8(r.err);
        for (const QString& special : {fifo, QStringLiteral("/dev/zero")})
            EXPECT_TRUE(said.contains(QStringLiteral("tavrel-check：无法读取 ") + special +
                                      QStringLiteral("：不是普通文件")))
                << said.toStdString();
        EXPECT_TRUE(said.endsWith(QStringLiteral("1 处, 3 个文件\n"))) << said.toStdString();
    }
}

// The program itself: its arguments are bytes, and a name that is not UTF-8
// is printed as GBK decoded.
TEST_F(CheckCommandTest, AGbkNamedDocumentIsFoundCheckedAndFixedUnderItsOwnName) {
    const QString lib = library();
    QDir().mkpath(path(QStringLiteral("docs")));
    const QByteArray name = QFile::encodeName(path(QStringLiteral("docs"))) +
                            "/\xB4\xED\xB1\xF0\xD7\xD6.txt";  // 错别字.txt
    ASSERT_TRUE(writeAtBytePath(name, gbk(QStringLiteral("他按装了"))));

    struct Case {
        const char* arguments;  // after the program and the library
        QByteArray out, err;
        int status;
    };
    const QByteArray hit = QStringLiteral("1\t错别字.txt\t3;6\t按装\t安装\n").toUtf8();
    for (const Case& c :
         {Case{"docs", hit, QStringLiteral("1 处, 1 个文件\n").toUtf8(), 1},
          Case{"--fix \"$(printf 'docs/\\264\\355\\261\\360\\327\\326.txt')\"", hit,
               QStringLiteral("已修改 docs/错别字.txt：改正 1 处，跳过 0 处\n1 处, 1 个文件\n")
                   .toUtf8(),
               0},
          Case{"docs", QByteArray(), QStringLiteral("0 处, 1 个文件\n").toUtf8(), 0}}) {
        QProcess check;
        check.setWorkingDirectory(dir.path());
        check.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral("exec \"$0\" --library \"$1\" ") + QLatin1String(c.arguments),
             qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-check"), lib});
        ASSERT_TRUE(check.waitForFinished(30000));
        EXPECT_EQ(check.readAllStandardOutput(), c.out) << c.arguments;
        EXPECT_EQ(check.readAllStandardError(), c.err) << c.arguments;
        EXPECT_EQ(check.exitCode(), c.status) << c.arguments;
    }
    EXPECT_EQ(readAtBytePath(name), gbk(QStringLiteral("他安装了")));
    EXPECT_EQ(QDir(path(QStringLiteral("docs"))).entryList(QDir::Files), QStringList());
}

TEST(CheckProgram, RunsOnTheSamplesAndTheirUtf8AndUtf16Copies) {
    const QString source = qEnvironmentVariable("TAVREL_SOURCE_DIR");
    QTemporaryDir samples;
    const QString sample = QStringLiteral("读书笔记.fbd");
    for (const QString& name : QDir(source + QStringLiteral("/samples")).entryList(QDir::Files))
        ASSERT_TRUE(
            QFile::copy(source + QStringLiteral("/samples/") + name, samples.filePath(name)));
    QFile original(samples.filePath(sample));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QString text = GbkCodec::decode(original.readAll());
    for (const auto& [name, bytes] :
         {std::pair{QStringLiteral("utf8.fbd"), text.toUtf8()},
          std::pair{QStringLiteral("utf16.fbd"),
                    QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()),
                                                        text.size() * 2)}}) {
        QFile copy(samples.filePath(name));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(bytes);
    }
    QProcess check;
    check.start(qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-check"),
                {QStringLiteral("--library"),
                 source + QStringLiteral("/data/starter/starter_library.tsv"), samples.path()});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(check.exitCode(), 1);
    const QList<QByteArray> lines = check.readAllStandardOutput().split('\n');
    ASSERT_GT(lines.size(), 10);
    EXPECT_TRUE(lines[0].startsWith("1\t")) << lines[0].constData();
    EXPECT_EQ(lines[0].split('\t').size(), 5);
    EXPECT_TRUE(check.readAllStandardError().contains(QStringLiteral(" 处, 6 个文件").toUtf8()));
    // The same misspellings, in the same order, in all three encodings.
    std::map<QString, QList<QByteArray>> found;
    for (const QByteArray& line : lines)
        if (!line.isEmpty())
            found[QString::fromUtf8(line.split('\t')[1])] << line.split('\t').mid(3).join('\t');
    EXPECT_FALSE(found[sample].isEmpty());
    EXPECT_EQ(found[QStringLiteral("utf8.fbd")], found[sample]);
    EXPECT_EQ(found[QStringLiteral("utf16.fbd")], found[sample]);
}

}  // namespace

TEST_F(CheckCommandTest, ADamagedLibraryIsNeverTakenForAnEmptyOne) {
    const QString doc = write(QStringLiteral("a.txt"), gbk(QStringLiteral("工程峻工，脱颍而出")));
    QDir().mkpath(path(QStringLiteral("prog")));
    const Result healthy = run({doc});
    ASSERT_EQ(healthy.status, 1);
    const QString libraryPath = path(QStringLiteral("prog/jdck.mdb"));
    QFile file(libraryPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray intact = file.readAll();
    file.close();
    const QString entries =
        write(QStringLiteral("new.tsv"), QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n"
                                                        "基本\t通用\t按装\t安装\t\n")
                                             .toUtf8());
    constexpr qsizetype kPage = 4096;
    // A byte flipped inside each of several pages after the first (which
    // makes the file unopenable, a case of its own).
    const qsizetype pages = intact.size() / kPage;
    ASSERT_GT(pages, 8);
    for (qsizetype page = 1; page < pages; page += std::max<qsizetype>(1, pages / 8)) {
        QByteArray damaged = intact;
        damaged[page * kPage + 700] = char(damaged[page * kPage + 700] ^ 0x40);
        for (const char* companion : {"-wal", "-shm"})
            QFile::remove(libraryPath + QLatin1String(companion));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();

        const Result checked = run({doc});
        if (checked.status != 2) {
            // A page the query never reads: the hits are all there.
            EXPECT_EQ(checked.status, 1) << "page " << page;
            EXPECT_EQ(checked.out, healthy.out) << "page " << page;
        } else {
            EXPECT_TRUE(
                checked.err.startsWith(QStringLiteral("tavrel-check：词库读取失败：").toUtf8()))
                << "page " << page << ": " << checked.err.constData();
        }
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        EXPECT_EQ(runLibraryCommand({QStringLiteral("import"), entries}, libraryPath, out, err), 2)
            << "page " << page;
        EXPECT_TRUE(err.data().contains(QStringLiteral("文件已损坏").toUtf8()))
            << err.data().constData();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), damaged) << "page " << page;
        file.close();
    }
}

TEST_F(CheckCommandTest, NothingHostileReachesATerminalOrASpreadsheet) {
    const QString lib = library();
    struct Row {
        QByteArray name;   // as the file is named
        QByteArray shown;  // in the text output and on stderr
        QString text;      // the document
        QString context;   // its hit's context cell in CSV
    };
    const std::vector<Row> rows = {
        {"\x1b]0;owned\x07.txt", "\\x1B]0;owned\\x07.txt", QStringLiteral("=SUM按装"),
         QStringLiteral("'=SUM【按装】")},
        {"a\rb.txt", "a\\rb.txt", QStringLiteral("+1按装"), QStringLiteral("'+1【按装】")},
        {"\xe2\x80\xae"
         "txt.exe.txt",
         "\\u{202E}txt.exe.txt", QStringLiteral("-1按装"), QStringLiteral("'-1【按装】")},
        {"plain.txt", "plain.txt", QStringLiteral("@A按装"), QStringLiteral("'@A【按装】")},
        {"plain.txt", "plain.txt", QStringLiteral("1=按装"), QStringLiteral("1=【按装】")},
    };
    for (const Row& row : rows) {
        QDir(path(QStringLiteral("docs"))).removeRecursively();
        write(QStringLiteral("docs/") + pathFromBytes(row.name), gbk(row.text));
        const Result text = run({QStringLiteral("--library"), lib, QStringLiteral("--stats"),
                                 path(QStringLiteral("docs"))});
        EXPECT_TRUE(text.out.startsWith("1\t" + row.shown + "\t")) << text.out.constData();
        EXPECT_TRUE(text.err.contains("/" + row.shown + QStringLiteral("：字数").toUtf8()))
            << text.err.constData();
        for (const QByteArray& said : {text.out, text.err})
            EXPECT_FALSE(std::any_of(said.begin(), said.end(), [](char c) {
                return (uchar(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7f;
            })) << row.shown.constData();

        const Result table = run({QStringLiteral("--library"), lib, QStringLiteral("--format"),
                                  QStringLiteral("csv"), path(QStringLiteral("docs"))});
        // Cells a spreadsheet would run as formulas begin with an apostrophe.
        const QString cells = QString::fromUtf8(table.out).split(QStringLiteral("\r\n")).at(1);
        EXPECT_TRUE(cells.endsWith(QLatin1Char(',') + row.context + QStringLiteral(",是")))
            << cells.toStdString();
    }
}
