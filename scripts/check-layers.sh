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
  [widgets]="platform"
  [wizard]="widgets screenconfig cardlink common platform kelvra"
  [mainwindow]="wizard widgets screenconfig cardlink common platform kelvra"
  [specialscreens]="mainwindow widgets screenconfig cardlink common platform kelvra"
  [app]="wizard specialscreens mainwindow widgets screenconfig cardlink common platform"
  [library]="common platform kelvra"
  [simulator]="common"
  [fleet]="screenconfig cardlink common platform"
  [cli]="specialscreens fleet screenconfig cardlink common platform"
  [simshow]=""
  [include]="kelvra"
  [tools]=""
)
# Folders that must not see Qt Widgets (Qt Core is allowed in cardlink and screenconfig, none below).
no_widgets="platform common cardlink screenconfig fleet library simulator include"
no_qt="platform common library simulator include tools fleet"
# The command-line program draws pictures (Qt Gui) but has no windows.
no_window_folders="cli"
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
[ $status -eq 0 ] && echo "layers: every include line follows the layer order"
exit $status
