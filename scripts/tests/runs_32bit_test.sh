#!/usr/bin/env bash
# scripts/runs-32bit against binfmt_misc folders of its own: a handler
# counts as 32-bit x86 emulation only when its magic, under its mask, takes
# i386 or i486 programs; handlers for other machines do not.
#   runs_32bit_test.sh RUNS_32BIT
set -uo pipefail
probe=${1:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Entries as the kernel shows them (Debian's qemu-user-binfmt for the first
# three).
i386_magic=7f454c4601010100000000000000000002000300
i386_mask=fffffffffffefe00fffffffffffffffffeffffff
i486_magic=7f454c4601010100000000000000000002000600
arm_magic=7f454c4601010100000000000000000002002800
arm_mask=ffffffffffffff00fffffffffffffffffeffffff
x86_64_magic=7f454c4602010100000000000000000002003e00

# entry NAME STATE MAGIC [MASK] [OFFSET]: a handler in the current folder.
entry() {
  {
    echo "$2"
    echo "interpreter /usr/bin/qemu-$1"
    echo "flags: OCF"
    echo "offset ${5:-0}"
    [ -z "$3" ] || echo "magic $3"
    [ -z "${4:-}" ] || echo "mask $4"
  } >"$dir/$1"
}

# case NAME STATUS EXPECTED_EXIT EXPECTED_TEXT, then the entries made by the
# commands that follow on stdin (one `entry` call a line).
check() {
  local name=$1 status=$2 expected=$3 text=$4
  dir="$work/$name"
  mkdir -p "$dir"
  echo "$status" >"$dir/status"
  : >"$dir/register"
  while read -r line; do eval "$line"; done
  local out
  out=$(SE_WINDOWS_TESTS='' SE_BINFMT_DIR="$dir" SE_WINE_LOADER=/bin/true "$probe")
  local got=$?
  if [ "$got" != "$expected" ] || ! grep -q -- "$text" <<<"$out${out:+ }"; then
    echo "FAIL: $name: exit $got, said '$out'; expected exit $expected saying '$text'"
    failures=$((failures + 1))
  else
    echo "ok: $name: exit $got${out:+, '$out'}"
  fi
}

check qemu_i386_is_an_emulator enabled 1 'emulator here (/usr/bin/qemu-i386, binfmt_misc entry i386)' <<EOF
entry arm enabled $arm_magic $arm_mask
entry i386 enabled $i386_magic $i386_mask
EOF
check i486_is_an_emulator enabled 1 'binfmt_misc entry i486' <<EOF
entry i486 enabled $i486_magic $i386_mask
EOF
check arm_and_x86_64_are_not enabled 0 '' <<EOF
entry arm enabled $arm_magic $arm_mask
entry x86_64 enabled $x86_64_magic $i386_mask
EOF
check no_mask_means_every_bit enabled 1 'entry i386' <<EOF
entry arm enabled $arm_magic
entry i386 enabled $i386_magic
EOF
check magic_for_every_32bit_elf_takes_i386_too enabled 1 'entry elf32' <<EOF
entry elf32 enabled 7f454c460101
EOF
check machine_field_at_an_offset enabled 1 'entry m386' <<EOF
entry m386 enabled 0300 ffff 18
EOF
check other_machine_at_an_offset enabled 0 '' <<EOF
entry marm enabled 2800 ffff 18
EOF
check disabled_entry_does_not_count enabled 0 '' <<EOF
entry i386 disabled $i386_magic $i386_mask
EOF
check disabled_binfmt_does_not_count disabled 0 '' <<EOF
entry i386 enabled $i386_magic $i386_mask
EOF
check extension_handler_is_ignored enabled 0 '' <<EOF
entry exe enabled ''
EOF

# A loader the kernel refuses is reported as refused. Here an i386 ELF
# header of no file type (0): no kernel and no binfmt_misc handler takes it.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x01\x00\x00\x00' \
  >"$work/loader"
chmod +x "$work/loader"
out=$(SE_WINDOWS_TESTS='' SE_BINFMT_DIR="$work/none" SE_WINE_LOADER="$work/loader" "$probe")
got=$?
if [ "$got" = 1 ] && [ "$out" = "the kernel refuses 32-bit programs (Exec format error)" ]; then
  echo "ok: a refused loader: '$out'"
else
  echo "FAIL: a refused loader: exit $got, said '$out'"
  failures=$((failures + 1))
fi

echo "$failures failed"
[ "$failures" = 0 ]
