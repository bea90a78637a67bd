#include "gui/proofread/HitTableModel.h"

#include <algorithm>
#include <iterator>

#include "gui/proofread/GridRows.h"
#include "proofread/HitPosition.h"
#include "text/FileName.h"
#include "text/GbkCodec.h"

int HitTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HitTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kHitColumns;
}

QVariant HitTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& r = row(index.row());
    if (index.column() == TickColumn)
        return role == Qt::CheckStateRole ? QVariant(r.ticked ? Qt::Checked : Qt::Unchecked)
                                          : QVariant();
    // A form the column cuts short is read whole in its tooltip.
    if (role == Qt::ToolTipRole &&
        (index.column() == WrongColumn || index.column() == RightColumn ||
         index.column() == ContextColumn))
        return fromGbk(r.wrong) + QStringLiteral(" → ") + fromGbk(r.right);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case NumberColumn:
            return QString::number(designRowOf(index.row()));
        case FileColumn:
            return displayName(r.file);
        case PositionColumn:
            return HitPosition{r.start, r.start + r.length - 1}.text();
        case WrongColumn:
            return fromGbk(r.wrong);
        case RightColumn:
            return fromGbk(r.right);
        case ContextColumn:
            return r.context;
        default:
            return {};
    }
}

bool HitTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rowCount() || index.column() != TickColumn ||
        role != Qt::CheckStateRole)
        return false;
    rows_[static_cast<size_t>(index.row())].ticked = value.value<Qt::CheckState>() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags HitTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const Qt::ItemFlags cell = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    return index.column() == TickColumn ? cell | Qt::ItemIsUserCheckable : cell;
}

QVariant HitTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kHitColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    const auto& values = header_[static_cast<size_t>(section)];
    const auto it = values.find(role == Qt::EditRole ? Qt::DisplayRole : role);
    return it == values.end() ? QVariant() : it->second;
}

bool HitTableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                  int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= kHitColumns) return false;
    header_[static_cast<size_t>(section)][role == Qt::EditRole ? Qt::DisplayRole : role] = value;
    emit headerDataChanged(orientation, section, section);
    return true;
}

void HitTableModel::append(std::vector<Row> rows) {
    if (rows.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
}

void HitTableModel::clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

std::vector<HitTableModel::TakenRow> HitTableModel::takeRows(const std::vector<int>& rows) {
    std::vector<TakenRow> taken;
    // From the last, so that the indices still to take stay where they are.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int r = *it;
        if (r < 0 || r >= rowCount()) continue;
        beginRemoveRows({}, r, r);
        taken.emplace_back(r, std::move(rows_[static_cast<size_t>(r)]));
        rows_.erase(rows_.begin() + r);
        endRemoveRows();
    }
    return taken;
}

void HitTableModel::restoreRows(const std::vector<TakenRow>& taken) {
    for (auto it = taken.rbegin(); it != taken.rend(); ++it) {
        const int r = std::min(it->first, rowCount());
        beginInsertRows({}, r, r);
        rows_.insert(rows_.begin() + r, it->second);
        endInsertRows();
    }
}
