#include "proofread/DocumentFormat.h"

#include "proofread/formats/PlainTextFormat.h"

namespace {

struct Registered {
    QStringList suffixes;
    const DocumentFormat* format;
};

// Every format the pass reads, each with the suffixes it claims, in the
// order a directory's documents are listed.
const std::vector<Registered>& registry() {
    static const PlainTextFormat text(PlainTextFormat::Markup::None);
    static const PlainTextFormat html(PlainTextFormat::Markup::Html);
    static const std::vector<Registered> formats = {
        {{QStringLiteral(".fbd"), QStringLiteral(".txt")}, &text},
        {{QStringLiteral(".htm"), QStringLiteral(".html")}, &html},
    };
    return formats;
}

}  // namespace

const DocumentFormat& formatOf(QStringView fileName) {
    for (const Registered& r : registry())
        for (const QString& suffix : r.suffixes)
            if (fileName.endsWith(suffix, Qt::CaseInsensitive)) return *r.format;
    return *registry().front().format;
}

const QStringList& documentSuffixes() {
    static const QStringList suffixes = [] {
        QStringList all;
        for (const Registered& r : registry()) all += r.suffixes;
        return all;
    }();
    return suffixes;
}
