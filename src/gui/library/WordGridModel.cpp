#include "gui/library/WordGridModel.h"

#include <algorithm>

#include "text/GbkCodec.h"

const QStringList& WordGridModel::headerTexts() {
    static const QStringList texts = {QStringLiteral("序号"),     QStringLiteral("级别"),
                                      QStringLiteral("类别"),     QStringLiteral("错误字段"),
                                      QStringLiteral("正确字段"), QStringLiteral("例外情况")};
    return texts;
}

const QStringList& WordGridModel::grades() {
    static const QStringList list = {QStringLiteral("基本"), QStringLiteral("高级"),
                                     QStringLiteral("专业")};
    return list;
}

const QStringList& WordGridModel::categories() {
    static const QStringList list = {
        QStringLiteral("通用"),     QStringLiteral("计算机"),   QStringLiteral("哲学"),
        QStringLiteral("经济学"),   QStringLiteral("政治法学"), QStringLiteral("教育学"),
        QStringLiteral("文学艺术"), QStringLiteral("历史学"),   QStringLiteral("理学"),
        QStringLiteral("工学"),     QStringLiteral("农学"),     QStringLiteral("医学"),
        QStringLiteral("管理学")};
    return list;
}

WordGridModel::WordGridModel(QObject* parent) : QAbstractTableModel(parent) {
    // The grid starts with the header and one empty row.
    rows.resize(1);
}

QModelIndex WordGridModel::cellIndex(int row, int column) const { return index(row - 1, column); }

int WordGridModel::gridRow(const QModelIndex& index) const {
    return index.isValid() ? index.row() + 1 : 0;
}

QString WordGridModel::cell(int row, int column) const {
    if (row < 1 || row > dataRows() || column < 0 || column >= ColumnCount) return QString();
    return rows[row - 1][column];
}

void WordGridModel::setCell(int row, int column, const QString& text) {
    if (row < 1 || row > dataRows() || column < 0 || column >= ColumnCount) return;
    QString& stored = rows[row - 1][column];
    if (stored == text) return;
    stored = text;
    const QModelIndex changed = cellIndex(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
}

void WordGridModel::appendRow() {
    beginInsertRows(QModelIndex(), dataRows(), dataRows());
    rows.emplace_back();
    endInsertRows();
}

void WordGridModel::load(const std::vector<WordEntry>& entries) {
    beginResetModel();
    rows.clear();
    knownPairs.clear();
    sharedPairs.clear();
    pending.clear();
    if (entries.empty()) {
        rows.resize(1);
    } else {
        rows.reserve(entries.size() + 1);
        for (const WordEntry& e : entries) {
            Row row;
            row[SerialColumn] = QString::number(e.tid);
            row[GradeColumn] = fromGbk(e.tgrade);
            row[ClassColumn] = fromGbk(e.tclass);
            row[WrongColumn] = fromGbk(e.terror);
            row[RightColumn] = fromGbk(e.tright);
            row[ExceptionColumn] = fromGbk(e.tbut);
            rows.push_back(std::move(row));
            const Row& added = rows.back();
            registerPair({added[WrongColumn], added[RightColumn]}, dataRows());
        }
    }
    endResetModel();
    keepNewEntryRow();
}

void WordGridModel::keepNewEntryRow() {
    if (!cell(dataRows(), WrongColumn).isEmpty()) appendRow();
    const int last = dataRows();
    if (cell(last, GradeColumn).isEmpty()) {
        setCell(last, GradeColumn, grades().front());
        setCell(last, ClassColumn, categories().front());
    }
}

void WordGridModel::applyDefaultCategory(int row) {
    if (cell(row, ClassColumn).isEmpty() && cell(row, GradeColumn) == grades().front())
        setCell(row, ClassColumn, categories().front());
}

QStringList WordGridModel::dropDownItems(int column) const {
    if (column == GradeColumn) return grades();
    if (column == ClassColumn) return categories();
    return {};
}

bool WordGridModel::checkAndMarkRow(int row, int column) {
    if (row < 1 || row > dataRows()) return false;
    applyDefaultCategory(row);

    const Pair pair{cell(row, WrongColumn), cell(row, RightColumn)};
    bool repeats = false;
    if (column >= WrongColumn && column <= ExceptionColumn && cell(row, SerialColumn).isEmpty())
        repeats = heldByAnotherRow(pair, row);
    if (!pair.first.isEmpty() && !pair.second.isEmpty()) registerPair(pair, row);
    if (!pair.second.isEmpty() && std::find(pending.begin(), pending.end(), row) == pending.end())
        pending.push_back(row);
    return repeats;
}

int WordGridModel::findWrongForm(const QString& text) const {
    for (int r = 0; r < dataRows(); ++r)
        if (rows[r][WrongColumn] == text) return r + 1;
    return 0;
}

bool WordGridModel::isKnownPair(const QString& wrong, const QString& right) const {
    return knownPairs.contains({wrong, right});
}

void WordGridModel::removePendingAt(int index) {
    if (index >= 0 && index < static_cast<int>(pending.size()))
        pending.erase(pending.begin() + index);
}

void WordGridModel::registerPair(const Pair& pair, int row) {
    // The list never shrinks: a pair stays known after its row has changed.
    const auto known = knownPairs.constFind(pair);
    if (known == knownPairs.constEnd())
        knownPairs.insert(pair, row);
    else if (known.value() != row)
        sharedPairs.insert(pair);
}

bool WordGridModel::heldByAnotherRow(const Pair& pair, int row) const {
    const auto known = knownPairs.constFind(pair);
    if (known == knownPairs.constEnd()) return false;
    return known.value() != row || sharedPairs.contains(pair);
}

int WordGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : dataRows();
}

int WordGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WordGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return QVariant();
    return cell(gridRow(index), index.column());
}

bool WordGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    const int row = gridRow(index);
    setCell(row, index.column(), value.toString());
    emit cellCommitted(row, index.column());
    return true;
}

Qt::ItemFlags WordGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // The key is the database's to give.
    return index.column() == SerialColumn ? base : base | Qt::ItemIsEditable;
}

QVariant WordGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return QVariant();
    if (role == Qt::DisplayRole) return headerTexts().at(section);
    return headerRoles[section].value(role);
}

bool WordGridModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                  int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount ||
        role == Qt::DisplayRole)
        return false;
    headerRoles[section].insert(role, value);
    emit headerDataChanged(orientation, section, section);
    return true;
}
