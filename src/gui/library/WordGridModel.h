#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

#include "library/WordEntry.h"

// The word library grid: its cells, the pairs of wrong and right form already
// known, and the rows waiting to be saved, with the editing rules that tie
// them together.
//
// Rows are counted as the grid's user sees them: the header is row 0 and the
// data rows are 1 to dataRows(). cellIndex() and gridRow() are the only places
// that translate to and from the model's own 0-based rows.
class WordGridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column {
        SerialColumn = 0,
        GradeColumn,
        ClassColumn,
        WrongColumn,
        RightColumn,
        ExceptionColumn,
        ColumnCount
    };

    static const QStringList& headerTexts();
    static const QStringList& grades();
    static const QStringList& categories();

    explicit WordGridModel(QObject* parent = nullptr);

    QModelIndex cellIndex(int row, int column) const;
    // The grid row of a model index; 0 for an invalid one.
    int gridRow(const QModelIndex& index) const;

    int dataRows() const { return static_cast<int>(rows.size()); }
    // The empty text outside the grid.
    QString cell(int row, int column) const;
    // Sets a cell without counting as the user's edit.
    void setCell(int row, int column, const QString& text);
    void appendRow();

    // Fills the grid and the known pairs from the library, in the given order.
    void load(const std::vector<WordEntry>& entries);
    // Keeps an empty row at the bottom for the next new entry.
    void keepNewEntryRow();
    // An empty category next to the grade "基本" becomes "通用".
    void applyDefaultCategory(int row);
    // The pick list of a column; empty for free-text columns.
    QStringList dropDownItems(int column) const;
    // Runs the rules of a committed edit. True when the row, a new one, now
    // repeats a pair that another row holds, which the user is to be warned of.
    bool checkAndMarkRow(int row, int column);
    // The first row whose wrong form equals `text` exactly; 0 when none does.
    int findWrongForm(const QString& text) const;

    bool isKnownPair(const QString& wrong, const QString& right) const;
    const std::vector<int>& pendingRows() const { return pending; }
    void removePendingAt(int index);
    void clearPending() { pending.clear(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // An edit through a view: stores the text and reports cellCommitted.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Keeps any role for the column headers, so that the window can colour
    // them without this class knowing about colours.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

  signals:
    void cellCommitted(int row, int column);

  private:
    using Row = std::array<QString, ColumnCount>;
    using Pair = QPair<QString, QString>;

    void registerPair(const Pair& pair, int row);
    // True when a row other than `row` brought the pair in or committed it.
    bool heldByAnotherRow(const Pair& pair, int row) const;

    std::vector<Row> rows;
    // Each known pair with the first row that held it, so that a new row's own
    // pair never counts as a repetition; pairs that two rows have held are
    // noted apart, since then every row has another one beside it.
    QHash<Pair, int> knownPairs;
    QSet<Pair> sharedPairs;
    std::vector<int> pending;
    QHash<int, QVariant> headerRoles[ColumnCount];
};
