#include "library/Settings.h"

#include <QByteArrayList>

namespace Settings {

QByteArray numbersText(const std::vector<int>& numbers) {
    QByteArrayList parts;
    for (int n : numbers) parts << QByteArray::number(n);
    return parts.join(',');
}

std::optional<std::vector<int>> numbersFrom(const QByteArray& text, std::size_t count) {
    const QByteArrayList parts = text.split(',');
    if (std::size_t(parts.size()) != count) return std::nullopt;
    std::vector<int> numbers;
    for (const QByteArray& part : parts) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok || n < 0 || n > 100000) return std::nullopt;
        numbers.push_back(n);
    }
    return numbers;
}

}  // namespace Settings
