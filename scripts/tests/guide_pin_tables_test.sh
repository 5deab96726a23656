#!/bin/sh
# scripts/guide-pin-tables against a plughost stand-in whose pin table we
# change: a table that drifted must fail --check naming its page, a rewrite
# must keep the hand-written column, and a broken page must not pass.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tool="$here/../guide-pin-tables"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The stand-in prints the layout of `plughost info`; PINS_EXTRA adds a row.
cat >"$work/plughost" <<'SH'
#!/bin/sh
[ "$1" = info ] || exit 2
[ "$2" = Demo ] || { echo "plughost: cannot load $2" >&2; exit 1; }
cat <<'OUT'
library:   /x/Demo.so
name:      "Demo"

index name                     dir      type    default  list                   flags
0     "MIDI In"                in       midi                                    0x0
1     "A pin whose name is very long" in       choice  1        Off,On                 0x10 file-name
2     "Mode"                   in       choice  0        on=1,off=0             0x0
OUT
[ -n "${PINS_EXTRA:-}" ] && echo "3     \"Extra\"                  out      float                                   0x0"
exit 0
SH
chmod +x "$work/plughost"
mkdir "$work/guide"
page="$work/guide/demo.md"
printf '# Demo\n\n<!-- pins: Demo -->\n| 2 | `Mode` |  |  |  |  |  | picks the way \\| it works |\n<!-- /pins -->\n\nAfter.\n' >"$page"

"$tool" "$work/plughost" "$work/guide" >/dev/null || fail "filling the table"
grep -q '| 2 | `Mode` | input | list | 0 (`off`) | `on` (1), `off` (0) |  | picks the way \\| it works |' "$page" \
  || fail "the Mode row or its hand-written text: $(grep Mode "$page")"
grep -q '| 1 | `A pin whose name is very long` | input | list | 1 (`On`) |' "$page" \
  || fail "a long name shifts the columns: $(grep long "$page")"
grep -q '^After.$' "$page" || fail "text after the table was lost"

"$tool" "$work/plughost" "$work/guide" --check >/dev/null || fail "--check right after a rewrite"

cp "$page" "$work/before"
out=$(PINS_EXTRA=1 "$tool" "$work/plughost" "$work/guide" --check 2>&1); rc=$?
[ "$rc" = 1 ] || fail "--check of a drifted table exited $rc, not 1"
case "$out" in *demo.md*) ;; *) fail "--check did not name the page: $out" ;; esac
cmp -s "$page" "$work/before" || fail "--check changed the page"

PINS_EXTRA=1 "$tool" "$work/plughost" "$work/guide" >/dev/null
grep -q '| 3 | `Extra` | output | number |' "$page" || fail "a new pin was not added"
grep -q 'picks the way' "$page" || fail "the hand-written text went with the rewrite"

printf '<!-- pins: Demo -->\n' >"$work/guide/open.md"
"$tool" "$work/plughost" "$work/guide" --check >/dev/null 2>&1; rc=$?
[ "$rc" = 2 ] || fail "a table without its closing comment gave $rc, not 2"
printf '<!-- pins: Nowhere -->\n<!-- /pins -->\n' >"$work/guide/open.md"
"$tool" "$work/plughost" "$work/guide" --check >/dev/null 2>&1; rc=$?
[ "$rc" = 2 ] || fail "a module plughost cannot load gave $rc, not 2"

if [ "$failures" = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
