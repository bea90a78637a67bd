#include "gui/library/WordCellDelegate.h"

#include <QComboBox>

WordCellDelegate::WordCellDelegate(Prepare prepare, QObject* parent)
    : QStyledItemDelegate(parent), prepare(std::move(prepare)) {}

QWidget* WordCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    const QStringList items = prepare ? prepare(index) : QStringList();
    if (items.isEmpty()) return QStyledItemDelegate::createEditor(parent, option, index);
    // Picking only: a grade or category outside the lists would match no mode.
    auto* list = new QComboBox(parent);
    list->setObjectName(QStringLiteral("cellPickList"));
    list->addItems(items);
    // A pick ends the edit, as in a pick-list cell; it need not wait for the focus to leave.
    auto* self = const_cast<WordCellDelegate*>(this);
    connect(list, &QComboBox::activated, self, [self, list] {
        emit self->commitData(list);
        emit self->closeEditor(list);
    });
    return list;
}

void WordCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* list = qobject_cast<QComboBox*>(editor)) {
        list->setCurrentIndex(list->findText(index.data(Qt::EditRole).toString()));
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void WordCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    if (auto* list = qobject_cast<QComboBox*>(editor)) {
        // A value the list does not hold stays until the user picks another.
        const QString picked =
            list->currentIndex() >= 0 ? list->currentText() : index.data(Qt::EditRole).toString();
        model->setData(index, picked, Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}
