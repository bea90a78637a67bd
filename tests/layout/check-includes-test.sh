#!/bin/bash
# The include check itself: a tree that keeps the rule passes, and each way of
# breaking it is caught.
set -uo pipefail
check=$(dirname "$0")/check-includes.sh
failed=0
# what, the file, the line it holds, whether the check is to pass
cases=(
    "down a floor|proofread/Pass.cpp|#include \"text/Codec.h\"|pass"
    "the windows include the logic|gui/proofread/Window.cpp|#include \"proofread/Pass.h\"|pass"
    "logic includes a window|proofread/Pass.cpp|#include \"gui/MainWindow.h\"|fail"
    "up a floor|documents/File.cpp|#include \"library/Entry.h\"|fail"
    "sideways|online/Client.cpp|#include \"proofread/Pass.h\"|fail"
    "a folder with no floor|app/Shell.cpp|#include \"text/Codec.h\"|fail"
    "Qt Widgets outside gui|library/Grid.h|#include <QListWidgetItem>|fail"
    "Qt Widgets by module path|library/Grid.h|#include <QtWidgets/QWidget>|fail"
    "Qt Widgets in gui|gui/Grid.h|#include <QListWidgetItem>|pass"
    "Qt Core outside gui|library/Grid.h|#include <QString>|pass"
)
widgets=$(mktemp -d)
touch "$widgets/QListWidgetItem" "$widgets/QWidget"
for row in "${cases[@]}"; do
    IFS='|' read -r what file line expected <<<"$row"
    tree=$(mktemp -d)
    mkdir -p "$tree/text" "$tree/$(dirname "$file")"
    echo '#pragma once' >"$tree/text/Codec.h"
    echo "$line" >"$tree/$file"
    if bash "$check" "$tree" "$widgets" >/dev/null; then got=pass; else got=fail; fi
    if [[ $got != "$expected" ]]; then
        echo "FAILED: $what: the check says $got, expected $expected"
        failed=$((failed + 1))
    fi
    rm -rf "$tree"
done
rm -rf "$widgets"
echo "$(( ${#cases[@]} - failed )) passed, $failed failed"
[[ $failed == 0 ]]
