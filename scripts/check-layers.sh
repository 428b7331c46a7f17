#!/usr/bin/env bash
# Holds the tree's include lines to the layer order of docs/architecture.md: a folder may include its
# own headers and those of the layers below it, and Qt Widgets only in the dialog layers. Prints every
# offending line and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder: the folders whose headers it may include (besides its own)
declare -A allowed=(
  [platform]=""
  [common]=""
  [cardlink]="common platform"
  [screenconfig]="cardlink common platform"
  [profiles]="screenconfig cardlink common platform"
  [widgets]="platform"
  [report]="screenconfig cardlink common platform"
  [wizard]="widgets screenconfig cardlink common platform kelvra"
  [mainwindow]="wizard widgets profiles report screenconfig cardlink common platform kelvra"
  [specialscreens]="mainwindow widgets profiles report screenconfig cardlink common platform kelvra"
  [app]="wizard specialscreens mainwindow widgets profiles report screenconfig cardlink common platform"
  [library]="common platform kelvra"
  [simulator]="common"
  [fleet]="screenconfig cardlink common platform"
  [cli]="specialscreens profiles report fleet screenconfig cardlink common platform"
  [simshow]=""
  [include]="kelvra"
  [tools]=""
)
# Folders that must not see Qt Widgets (Qt Core is allowed in cardlink and screenconfig, none below).
no_widgets="platform common cardlink screenconfig profiles fleet library simulator include"
no_qt="platform common profiles fleet library simulator include tools"
# The command-line program and the report draw pictures and documents (Qt Gui) but have no windows.
no_window_folders="cli report"
window_re='^#include <(QtWidgets|Q(Widget|Dialog|Application|MessageBox|FileDialog|PushButton|Label|LineEdit|ComboBox|MainWindow)[>.])'

widget_re='^#include <Q(Abstract[A-Za-z]*|Widget|Dialog|Application|MessageBox|FileDialog|PushButton|Label|LineEdit|ComboBox|Slider|ProgressBar|ListWidget|CheckBox|RadioButton|[A-Za-z]*Layout|StatusBar|GroupBox|SpinBox|TableWidget|MainWindow|ButtonGroup|DialogButtonBox|Painter|Pixmap|Image|Font|Cursor|Gui|tWidgets|tGui)[>./]'

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r file; do
    while IFS=: read -r line text; do
      target=${text#*\"}
      target=${target%%/*}
      case " $folder ${allowed[$folder]} " in
        *" $target "*) ;;
        *) echo "$file:$line: $folder/ may not include $target/: $text"; status=1 ;;
      esac
    done < <(grep -n -E '^#include "[a-z_]+/' "$file" || true)
    if [[ " $no_widgets " == *" $folder "* ]] && grep -q -E "$widget_re" "$file"; then
      grep -n -E "$widget_re" "$file" | sed "s|^|$file:|; s|$| (no Qt Widgets or Gui in $folder/)|"
      status=1
    fi
    if [[ " $no_window_folders " == *" $folder "* ]] && grep -q -E "$window_re" "$file"; then
      grep -n -E "$window_re" "$file" | sed "s|^|$file:|; s|$| (no Qt Widgets in $folder/)|"
      status=1
    fi
    if [[ " $no_qt " == *" $folder "* ]] && grep -q -E '^#include <Q' "$file"; then
      grep -n -E '^#include <Q' "$file" | sed "s|^|$file:|; s|$| (no Qt in $folder/)|"
      status=1
    fi
  done < <(find "$folder" -name '*.h' -o -name '*.cpp' -o -name '*.c')
done
# Inside the library: base/ at the bottom, protocol/, imaging/ and util/ on it, programme/ on those;
# the files at its root (the exports' result texts) may include any of them. No arrow back up, so no
# circle between the library's folders.
declare -A library_allowed=(
  [base]=""
  [protocol]="base"
  [imaging]="base"
  [util]="base"
  [programme]="base protocol imaging util"
)
for part in "${!library_allowed[@]}"; do
  while IFS= read -r file; do
    while IFS=: read -r line text; do
      target=${text#*\"library/}
      target=${target%%/*}
      case " $part ${library_allowed[$part]} " in
        *" $target "*) ;;
        *) echo "$file:$line: library/$part/ may not include library/$target/: $text"; status=1 ;;
      esac
    done < <(grep -n -E '^#include "library/[a-z_]+/' "$file" || true)
  done < <(find "library/$part" -name '*.h' -o -name '*.cpp')
  [ -d "library/$part" ] || { echo "library/$part: missing"; status=1; }
done

# The Qt-free targets inside the dialog folders: the sources their add_library lists name, with their
# headers, and every project header those reach, include no Qt.
qt_free_targets="wizard:wizard_steps mainwindow:mainwindow_model"
declare -A seen=()
reaches_qt() {  # prints the chain to the first Qt include below $1, if any
  local file=$1 via=$2 next
  [ -f "$file" ] && [ -z "${seen[$file]:-}" ] || return 0
  seen[$file]=1
  if grep -q -E '^#include <Q' "$file"; then
    grep -n -E '^#include <Q' "$file" | head -1 | sed "s|^|$file:|; s|$| (no Qt in a Qt-free target: $via)|"
    return 0
  fi
  while read -r next; do
    reaches_qt "$next" "$via" || true
  done < <(sed -n -E 's|^#include "([a-z_]+/[a-z_/]+\.h)".*|\1|p' "$file")
}
for entry in $qt_free_targets; do
  folder=${entry%%:*} target=${entry#*:}
  sources=$(sed -n "/^add_library($target /,/)/p" "$folder/CMakeLists.txt" | grep -o -E '[a-z_]+\.cpp')
  if [ -z "$sources" ]; then
    echo "$folder/CMakeLists.txt: no add_library($target ...) with its sources"
    status=1
    continue
  fi
  for source in $sources; do
    for file in "$folder/$source" "$folder/${source%.cpp}.h"; do
      found=$(reaches_qt "$file" "$target")
      [ -z "$found" ] || { echo "$found"; status=1; }
    done
  done
done

[ $status -eq 0 ] && echo "layers: every include line follows the layer order"
exit $status
