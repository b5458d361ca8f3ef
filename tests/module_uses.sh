#!/usr/bin/env bash
# Each module's header says in its "// Uses:" line which modules of ours the module (header and source)
# includes: the line must name exactly those.
# usage: module_uses.sh SOURCE_DIR
set -euo pipefail
cd "$1/src"
failed=0
for header in *.h; do
  module=${header%.h}
  said=$(awk '/^\/\/ Uses:/ { on = 1 } on { print } on && /\.$/ { exit }' "$header" |
    sed 's|^// Uses:||; s|^//||; s|nothing else of ours||; s|[.,]| |g' | tr -s ' \n' '\n' | grep . | sort -u || true)
  grep -q '^// Uses:' "$header" || [[ $module == ZYNAttrKinds ]] || { echo "$header: no Uses line"; failed=1; continue; }
  [[ $module == ZYNAttrKinds ]] && continue
  actual=$(cat "$module".h $( [[ -f $module.cpp ]] && echo "$module.cpp") |
    sed -n 's/^#include "\([A-Za-z]*\)\.h".*/\1/p' | grep -v -x -e "$module" -e ZYNBuildVersion | sort -u || true)
  if [[ $said != "$actual" ]]; then
    echo "$header says it uses: $(echo $said); it includes: $(echo $actual)"
    failed=1
  fi
done
if (( failed )); then echo "0 passed, 1 failed"; exit 1; fi
echo "1 passed, 0 failed"
