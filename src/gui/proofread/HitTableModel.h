#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QVariant>

#include <array>
#include <map>
#include <utility>
#include <vector>

#include "gui/proofread/HitColumns.h"

// The hit rows of a proofreading pass, as the result grid shows them. A row
// keeps the hit itself (texts shared with the scanned entry, no cell objects),
// so a pass with a hundred thousand hits costs a few megabytes, and the
// correction reads the exact bytes instead of texts parsed back from cells.
class HitTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    struct Row {
        QString file;      // the file's own name in the directory (FileName.h)
        qsizetype start;   // 1-based byte position
        qsizetype length;  // bytes of the occurrence, in the document's encoding
        QByteArray wrong;  // GBK
        QByteArray right;  // GBK
        bool ticked = true;
        QString context{};  // the text around the hit, as shown
        qint64 entry = 0;   // the library entry's tid
        // Where the hit stands in `context`: after `contextBefore` characters
        // and 【, `contextHit` characters long.
        int contextBefore = 0;
        int contextHit = 0;
    };
    // A row taken out of the list, with the index it had.
    using TakenRow = std::pair<int, Row>;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    const Row& row(int r) const { return rows_[static_cast<size_t>(r)]; }
    // The rows of one document at once: one notice to the view, not one a row.
    void append(std::vector<Row> rows);
    void clear();
    // Takes out the rows `rows` (ascending) and returns them for restoreRows.
    std::vector<TakenRow> takeRows(const std::vector<int>& rows);
    // Puts taken rows back where they were; the last taken go back first.
    void restoreRows(const std::vector<TakenRow>& taken);

  private:
    std::vector<Row> rows_;
    std::array<std::map<int, QVariant>, kHitColumns> header_;
};
