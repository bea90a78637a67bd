#!/bin/bash
# Holds the house rule: a folder of src/ includes only folders on floors below
# its own, and only gui/ includes Qt Widgets. Prints every include that breaks
# it; fails if there is one.
set -euo pipefail
src=${1:?usage: check-includes.sh SRC_DIR [QT_WIDGETS_INCLUDE_DIR]}
# The headers of Qt Widgets, so that <QListWidgetItem> is told from <QString>.
widgets=${2:-$(find /usr/include -maxdepth 3 -type d -name QtWidgets 2>/dev/null | head -n 1)}

floor() {
    case $1 in
        text) echo 0 ;;
        platform) echo 1 ;;
        documents) echo 2 ;;
        library) echo 3 ;;
        online | proofread) echo 4 ;;
        userinfo | server) echo 5 ;;
        gui) echo 6 ;;
        *) echo unknown ;;
    esac
}

isWidgetsHeader() {
    [[ $1 == QtWidgets* ]] || [[ -n $widgets && -f $widgets/$1 ]]
}

broken=0
cd "$src"
while IFS= read -r file; do
    from=${file%%/*}
    [[ $(floor "$from") == unknown ]] && { echo "$file: folder $from has no floor"; broken=1; continue; }
    while IFS= read -r to; do
        [[ $to == "$from" ]] && continue
        if [[ $(floor "$to") == unknown || $(floor "$to") -ge $(floor "$from") ]]; then
            echo "$file includes $to/ (floor $(floor "$to")) from $from/ (floor $(floor "$from"))"
            broken=1
        fi
    done < <(sed -n 's|^#include "\([a-z]*\)/.*|\1|p' "$file" | sort -u)
    [[ $from == gui ]] && continue
    while IFS= read -r header; do
        if isWidgetsHeader "$header"; then
            echo "$file includes <$header>: only gui/ may use Qt Widgets"
            broken=1
        fi
    done < <(sed -n 's|^#include <\([A-Za-z/]*\)>.*|\1|p' "$file" | sort -u)
done < <(find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | grep /)
exit $broken
