#!/usr/bin/env bash
# Fails when a tracked C or C++ file is not clean under the project's .clang-format, naming each
# one; run by test.sh so the tree stays formatted. Fix with: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
unclean=()
while IFS= read -r file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        unclean+=("$file")
    fi
done < <(git ls-files '*.c' '*.cpp' '*.h')
if [ ${#unclean[@]} -ne 0 ]; then
    echo "not formatted (clang-format -i to fix): ${unclean[*]}" >&2
    exit 1
fi
echo "formatting: every C and C++ file is clean"
