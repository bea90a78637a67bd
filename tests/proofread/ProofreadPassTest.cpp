#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "documents/DocumentFile.h"
#include "proofread/ProofreadPass.h"
#include "text/GbkCodec.h"
#include "text/TextCodec.h"

namespace {

class ProofreadPassTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QByteArray read(const QString& path) {
        return DocumentFile::read(path).value_or(QByteArray("(unreadable)"));
    }
    static ProofreadPass pass(std::vector<IgnoredOccurrence> ignored = {}) {
        return ProofreadPass({{gbk(QStringLiteral("按装")), gbk(QStringLiteral("安装")), {}, 7}},
                             std::move(ignored));
    }
};

// With its byte-order mark, so that the encoding is told from the bytes.
QByteArray encoded(const QString& text, TextEncoding encoding) {
    QString unencodable;
    const QByteArray bytes =
        TextCodec::encode(text, encoding, TextCodec::LineEnding::None, &unencodable);
    switch (encoding) {
        case TextEncoding::Utf8:
            return "\xEF\xBB\xBF" + bytes;
        case TextEncoding::Utf16Le:
            return "\xFF\xFE" + bytes;
        case TextEncoding::Utf16Be:
            return "\xFE\xFF" + bytes;
        default:
            return bytes;
    }
}

TEST_F(ProofreadPassTest, ReadsEachDocumentThroughTheFormatItsNameTells) {
    // Valid UTF-8 whose page names GBK: only a web page's markup is heeded.
    const QByteArray page = QStringLiteral("<meta charset=\"gbk\">按装").toUtf8();
    struct Row {
        const char* name;
        QByteArray bytes;  // none: no such file
        std::optional<TextEncoding> given;
        TextEncoding read;
        bool readable;
        QString problem;
    };
    const std::vector<Row> rows = {
        {"page.htm", page, {}, TextEncoding::Gbk, true, {}},
        {"page.HTML", page, {}, TextEncoding::Gbk, true, {}},
        {"page.txt", page, {}, TextEncoding::Utf8, true, {}},
        {"page.fbd", page, TextEncoding::Gb18030, TextEncoding::Gb18030, true, {}},
        // A name no format claims is plain text, as on the command line.
        {"notes.doc", page, {}, TextEncoding::Utf8, true, {}},
        {"nul.txt",
         QByteArray("a\0b", 3),
         {},
         TextEncoding::Binary,
         true,
         QStringLiteral("不是文本")},
        {"missing.txt", {}, {}, TextEncoding::Gbk, false, QStringLiteral("?")},
    };
    for (const Row& row : rows) {
        const QString name = QString::fromLatin1(row.name);
        const QString path = row.bytes.isNull() ? dir.filePath(name) : write(name, row.bytes);
        for (const bool mapped : {false, true}) {
            const PassDocument d = ProofreadPass::read(path, {row.given, mapped});
            EXPECT_EQ(d.text.encoding, row.read) << row.name;
            EXPECT_EQ(d.file.has_value(), row.readable) << row.name;
            if (row.readable) {
                EXPECT_EQ(*d.file, row.bytes) << row.name;
            }
            if (row.problem == QLatin1String("?"))
                EXPECT_FALSE(d.problem.isEmpty()) << row.name;
            else
                EXPECT_EQ(d.problem, row.problem) << row.name;
        }
    }
}

TEST_F(ProofreadPassTest, CorrectsWhatItFoundInTheFilesOwnEncoding) {
    const ProofreadPass p = pass();
    const CorrectionJournal journal(dir.filePath(QStringLiteral("journal")));
    for (const TextEncoding encoding :
         {TextEncoding::Gbk, TextEncoding::Gb18030, TextEncoding::Utf8, TextEncoding::Utf16Le,
          TextEncoding::Utf16Be}) {
        const QString what = encodingName(encoding);
        // GB18030 is told by a character GBK lacks.
        const QString first =
            encoding == TextEncoding::Gbk ? QStringLiteral("〇") : QStringLiteral("𠀀");
        const QString before = first + QStringLiteral("一二三四五六七八按装二按装\n");
        const QString path = write(what + QStringLiteral(".txt"), encoded(before, encoding));
        const PassDocument d = ProofreadPass::read(path);
        ASSERT_EQ(d.text.encoding, encoding) << what.toStdString();
        const ProofreadPass::Found found = p.check(d, nullptr, ProofreadPass::Detail::Report);
        ASSERT_EQ(found.hits.size(), 2u) << what.toStdString();
        ASSERT_EQ(found.contexts.size(), 2u);
        EXPECT_EQ(found.contexts[0].hit, QStringLiteral("按装"));
        EXPECT_EQ(found.contexts[1].before, QStringLiteral("四五六七八按装二"));
        EXPECT_EQ(found.measure.places[1].column, 13);
        std::vector<CorrectionRow> rows;
        for (const Hit& hit : found.hits) {
            EXPECT_EQ(p.form(hit.entry).tid, 7);
            rows.push_back({hit.start, p.form(hit.entry).wrong, p.form(hit.entry).right});
        }
        const ProofreadPass::Correction c = ProofreadPass::correct(d, rows);
        const QByteArray after =
            encoded(first + QStringLiteral("一二三四五六七八安装二安装\n"), encoding);
        EXPECT_EQ(c.file.result.text, after) << what.toStdString();
        EXPECT_EQ(ProofreadPass::textAfter(d, c).bytes, after);
        const QByteArray diff = ProofreadPass::diff(what, d, c);
        EXPECT_TRUE(diff.contains("七八按装二按装\n+")) << diff.toStdString();
        EXPECT_TRUE(diff.endsWith("七八安装二安装\n")) << diff.toStdString();

        CorrectionJournal::Run run = journal.startRun("test");
        QString why;
        ASSERT_EQ(ProofreadPass::write(d, c, run, &why), ProofreadPass::Written::Yes)
            << why.toStdString();
        EXPECT_EQ(read(path), after);
        EXPECT_TRUE(p.check(ProofreadPass::read(path)).hits.empty());
        // The file has changed since `d` was read: it is left alone.
        EXPECT_EQ(ProofreadPass::write(d, c, run, &why), ProofreadPass::Written::NotWritten);
        EXPECT_EQ(read(path), after);
    }
}

TEST_F(ProofreadPassTest, LeavesOutWhatWasIgnoredInADocumentOfThatName) {
    const QByteArray text = gbk(QStringLiteral("一按装二，三按装四"));
    const ProofreadPass p = pass({{1,
                                   "a.txt",
                                   gbk(QStringLiteral("按装")),
                                   gbk(QStringLiteral("安装")),
                                   gbk(QStringLiteral("三按装四")),
                                   {}}});
    struct Row {
        const char* name;
        std::vector<qsizetype> starts;
        qsizetype ignored;
    };
    for (const Row& row :
         {Row{"a.txt", {3}, 1}, Row{"b.txt", {3, 13}, 0}, Row{"sub/a.txt", {3}, 1}}) {
        const ProofreadPass::Found found =
            p.check(ProofreadPass::read(write(QString::fromLatin1(row.name), text)));
        std::vector<qsizetype> starts;
        for (const Hit& hit : found.hits) starts.push_back(hit.start);
        EXPECT_EQ(starts, row.starts) << row.name;
        EXPECT_EQ(found.ignored, row.ignored) << row.name;
    }
}

}  // namespace
