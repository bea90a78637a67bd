#include "proofread/checks/LibraryCheck.h"

#include "proofread/DocumentScan.h"

std::vector<Hit> LibraryCheck::find(const DocumentText& text, ScanObserver* observer) const {
    return scanDocument(scanner_, text.bytes, text.encoding, observer);
}
