#pragma once

#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>

// The cell editors of the word library grid: a pick list where the column has
// one, a line edit elsewhere. Before an editor is made, `prepare` runs for the
// cell and gives the pick list, empty for free text.
class WordCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using Prepare = std::function<QStringList(const QModelIndex&)>;

    WordCellDelegate(Prepare prepare, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

  private:
    Prepare prepare;
};
