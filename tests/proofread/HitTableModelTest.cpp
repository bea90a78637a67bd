#include <gtest/gtest.h>

#include <QSignalSpy>

#include "gui/proofread/HitTableModel.h"
#include "proofread/HitContext.h"
#include "text/GbkCodec.h"
#include "text/TextCodec.h"

namespace {

// A row of a GBK document unless the occurrence's length in its file is given.
HitTableModel::Row hit(const char* file, qsizetype start, const QString& wrong,
                       const QString& right, qsizetype length = 0) {
    return {QString::fromUtf8(file), start, length ? length : gbk(wrong).size(), gbk(wrong),
            gbk(right)};
}

TEST(HitTableModel, RowsShowTheirCellsAsTheGridListsThem) {
    HitTableModel model;
    model.append({hit("a.txt", 5, QStringLiteral("按装"), QStringLiteral("安装")),
                  hit("b.txt", 1, QStringLiteral("帐号"), QStringLiteral("账号")),
                  hit("c.txt", 4, QStringLiteral("按装"), QStringLiteral("安装"), 6)});
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 7);
    auto cell = [&](int r, int c) { return model.index(r, c).data().toString(); };
    EXPECT_EQ(cell(0, 0), QStringLiteral("1"));
    EXPECT_EQ(cell(1, 0), QStringLiteral("2"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("a.txt"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("5;8"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("1;4"));
    EXPECT_EQ(cell(2, 2), QStringLiteral("4;9"));  // the range in a UTF-8 file's bytes
    EXPECT_EQ(cell(0, 3), QStringLiteral("按装"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("安装"));
    // New rows come ticked; only the tick can be changed, and only as a tick.
    EXPECT_EQ(model.index(0, 5).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    EXPECT_FALSE(model.index(0, 5).data().isValid());
    for (int c = 0; c < 5; ++c) {
        EXPECT_FALSE(model.flags(model.index(0, c)) & Qt::ItemIsEditable) << c;
        EXPECT_FALSE(model.flags(model.index(0, c)) & Qt::ItemIsUserCheckable) << c;
        EXPECT_FALSE(model.setData(model.index(0, c), QStringLiteral("x"), Qt::EditRole)) << c;
    }
    EXPECT_TRUE(model.flags(model.index(0, 5)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.setData(model.index(0, 5), QStringLiteral("x"), Qt::EditRole));
    EXPECT_EQ(cell(0, 3), QStringLiteral("按装"));
    EXPECT_EQ(model.index(1, 3).data(Qt::ToolTipRole).toString(), QStringLiteral("帐号 → 账号"));
}

TEST(HitTableModel, ContextShowsEightCharactersEitherSideOfTheHit) {
    const QString text =
        QStringLiteral("按装在开头。中间一段文字里\r\n有人按装了软件，结尾还要按装");
    struct Case {
        qsizetype characters;  // before the hit
        const char* context;
    };
    const Case cases[] = {
        {0, "【按装】在开头。中间一段"},
        {17, "一段文字里⏎有人【按装】了软件，结尾还要"},
        {27, "了软件，结尾还要【按装】"},
    };
    for (const TextEncoding encoding :
         {TextEncoding::Gbk, TextEncoding::Utf8, TextEncoding::Utf16Le}) {
        const QByteArray bytes =
            TextCodec::encode(text, encoding, TextCodec::LineEnding::None, nullptr);
        const QByteArray form = TextCodec::recodeGbk(gbk(QStringLiteral("按装")), encoding);
        std::vector<Hit> hits;
        for (const Case& c : cases) {
            const qsizetype start = TextCodec::encode(text.left(c.characters), encoding,
                                                      TextCodec::LineEnding::None, nullptr)
                                        .size();
            ASSERT_EQ(bytes.mid(start, form.size()), form);
            hits.push_back({0, start + 1, form.size()});
        }
        std::reverse(hits.begin(), hits.end());  // in any order
        const std::vector<QString> contexts = hitContexts(bytes, encoding, hits);
        for (size_t i = 0; i < hits.size(); ++i)
            EXPECT_EQ(contexts[i], QString::fromUtf8(cases[hits.size() - 1 - i].context))
                << encodingName(encoding).toStdString();
    }
}

TEST(HitTableModel, UntickingARowChangesThatRowOnly) {
    HitTableModel model;
    model.append({hit("a.txt", 1, QStringLiteral("按装"), QStringLiteral("安装")),
                  hit("a.txt", 9, QStringLiteral("按装"), QStringLiteral("安装"))});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(model.setData(model.index(1, 5), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(model.row(0).ticked);
    EXPECT_FALSE(model.row(1).ticked);
    EXPECT_EQ(model.index(1, 5).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    ASSERT_TRUE(model.setData(model.index(1, 5), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(model.row(1).ticked);
}

TEST(HitTableModel, AppendingAndClearingTellTheView) {
    HitTableModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.append({});
    EXPECT_EQ(inserted.count(), 0);
    model.append({hit("a.txt", 1, QStringLiteral("按装"), QStringLiteral("安装")),
                  hit("a.txt", 3, QStringLiteral("按装"), QStringLiteral("安装"))});
    model.append({hit("b.txt", 7, QStringLiteral("按装"), QStringLiteral("安装"))});
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 2);
    EXPECT_EQ(inserted[1][2].toInt(), 2);
    EXPECT_EQ(model.index(2, 0).data().toString(), QStringLiteral("3"));
    EXPECT_EQ(model.row(2).file, QStringLiteral("b.txt"));
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_FALSE(model.index(0, 1).data().isValid());
}

}  // namespace
