#!/usr/bin/env bash
# The whole road through tessaly-host, as a user meets it: an empty registry,
# register the module, open 3DS files on both roads, press a command,
# disconnect, unregister.
#
#   end_to_end.sh road  HOST MODULE WRITE_SAMPLE NO_MESHES AFTER_DISCONNECT WORKDIR
#   end_to_end.sh usage HOST WORKDIR
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
ok() { echo "ok: $*"; }

# check_json FILE PYTHON: runs the statements with `j` the parsed JSON.
check_json() {
  python3 - "$1" "$2" <<'PY'
import json, sys
with open(sys.argv[1]) as f:
    j = json.load(f)
try:
    exec(sys.argv[2])
except AssertionError as e:
    print("JSON check failed: %s\n%s" % (e, json.dumps(j, indent=1)), file=sys.stderr)
    sys.exit(1)
PY
}

# expect_fail WHAT COMMAND...: the command exits non-zero and says why on stderr.
expect_fail() {
  local what=$1
  shift
  local status=0
  "$@" >"$work/out.txt" 2>"$work/err.txt" || status=$?
  [ "$status" -ne 0 ] || fail "$what: exited 0"
  grep -Eq "^(tessaly-host: |usage: )" "$work/err.txt" || fail "$what: no message on stderr: $(cat "$work/err.txt")"
  ok "$what (exit $status: $(head -n1 "$work/err.txt"))"
}

usage() {
  host=$1 work=$2
  rm -rf "$work" && mkdir -p "$work"
  export TESSALY_REGISTRY=$work/registry.txt
  expect_fail "no command" "$host"
  expect_fail "unknown command" "$host" frobnicate
  expect_fail "open without a file" "$host" open
  expect_fail "unknown option" "$host" open x.3ds --frob
  expect_fail "--answer without =" "$host" open x.3ds --answer Units
  expect_fail "register without a module" "$host" register
  expect_fail "register of a missing module" "$host" register "$work/missing.dll"
}

road() {
  host=$1 module=$2 write_sample=$3 no_meshes=$4 after_disconnect=$5 work=$6
  rm -rf "$work" && mkdir -p "$work/tmp"
  export TESSALY_REGISTRY=$work/registry.txt
  # The add-in's icon files go here, so that what it leaves behind shows.
  export TMP=$work/tmp
  local registry=$TESSALY_REGISTRY
  local shapes=$work/shapes.3ds empty=$work/no_meshes.3ds
  "$write_sample" "$shapes"
  "$no_meshes" "$empty"
  local solid=(--answer Units=Millimeters --answer "Solid in a part document=on" --answer "Show progress=off")
  local sketch=(--answer Units=Millimeters --answer "3D sketch in a part document=on" --answer "Show progress=off")

  # Nothing registered yet: the host refuses to run.
  expect_fail "open before registering" "$host" open "$shapes" "${solid[@]}" --json
  grep -q "no add-in is registered" "$work/err.txt" || fail "open before registering: $(cat "$work/err.txt")"
  [ ! -s "$work/out.txt" ] || fail "open before registering printed a result: $(cat "$work/out.txt")"

  "$host" register "$module" >"$work/out.txt" || fail "register exited non-zero"
  grep -q "DllRegisterServer in .* succeeded" "$work/out.txt" || fail "register: $(cat "$work/out.txt")"
  grep -q 'key HKEY_LOCAL_MACHINE "SOFTWARE" "SolidWorks" "AddIns" "{BE589EC6-6E2A-4858-8582-A92DAFDC633A}"' \
    "$registry" || fail "register wrote no AddIns key"
  ok "register"

  # Solid road, saving OBJ files.
  "$host" open "$shapes" "${solid[@]}" --json --save "$work/obj" >"$work/solid.json" 2>"$work/err.txt" ||
    fail "open (solid) exited non-zero: $(cat "$work/err.txt")"
  check_json "$work/solid.json" '
assert j["messages"] == [], "messages"
assert len(j["documents"]) == 1, "one document"
d = j["documents"][0]
assert d["type"] == "part" and d["title"] == "Part1", "type and title"
assert d["length_unit"] == "mm", "length unit"
assert d["bodies"] == [{"faces": 12, "closed": True}, {"faces": 4, "closed": True}], "bodies"
assert d["sketch_lines"] == 0, "no sketch"
'
  ok "open, solid road: one part, bodies of 12 and 4 faces, closed"
  [ -s "$work/obj/Part1.obj" ] || fail "--save wrote no Part1.obj"
  [ "$(grep -c '^o ' "$work/obj/Part1.obj")" = 2 ] || fail "Part1.obj: not 2 objects"
  [ "$(grep -c '^f ' "$work/obj/Part1.obj")" = 16 ] || fail "Part1.obj: not 16 faces"
  [ "$(grep -c '^v ' "$work/obj/Part1.obj")" = 12 ] || fail "Part1.obj: not 12 vertices"
  ok "--save: Part1.obj with 2 bodies, 16 faces, 12 vertices"

  # The same, as text: the host as the add-in left it connected.
  "$host" open "$shapes" "${solid[@]}" >"$work/solid.txt" 2>"$work/err.txt" ||
    fail "open (text) exited non-zero: $(cat "$work/err.txt")"
  grep -q '^Part1: part, unit mm' "$work/solid.txt" || fail "text: no Part1"
  grep -q 'group 1 "Tessaly", active, 3 items' "$work/solid.txt" || fail "text: no command group"
  grep -q '^Open dialog: .*(.3ds)' "$work/solid.txt" || fail "text: no Open entry"
  ok "open, text: Part1, the group and the Open entry while connected"
  # The icon files the group read are the add-in's to remove on disconnect;
  # tessaly-host says what the run left in its temporary folder.
  grep -q 'swt[0-9A-F]*\.TMP' "$work/solid.txt" || fail "text: names no icon file"
  ! grep -q 'in its temporary folder' "$work/err.txt" || fail "files left after the run: $(cat "$work/err.txt")"
  [ -z "$(ls -A "$work/tmp")" ] || fail "files left after the run: $(ls "$work/tmp")"
  ok "no icon file left after shutdown"

  # Sketch road.
  "$host" open "$shapes" "${sketch[@]}" --json >"$work/sketch.json" 2>"$work/err.txt" ||
    fail "open (sketch) exited non-zero: $(cat "$work/err.txt")"
  check_json "$work/sketch.json" '
assert j["messages"] == [], "messages"
assert len(j["documents"]) == 1, "one document"
d = j["documents"][0]
assert d["type"] == "part" and d["length_unit"] == "mm", "type and unit"
assert d["bodies"] == [], "no bodies"
assert d["sketch_lines"] == 18 + 6, "lines: one per edge of the cube and the tetrahedron"
assert [d[k] for k in ("sketch_points", "sketch_arcs", "sketch_circles", "sketch_splines")] == [0] * 4, "lines only"
'
  ok "open, sketch road: 24 sketch lines, no bodies"

  # A file without meshes: one message, no document.
  "$host" open "$empty" "${solid[@]}" --json >"$work/empty.json" 2>"$work/err.txt" ||
    fail "open (no meshes) exited non-zero: $(cat "$work/err.txt")"
  check_json "$work/empty.json" '
assert j["documents"] == [], "no document"
assert j["messages"] == [{"title": "Tessaly for SolidWorks 2013 version 1.0",
                          "text": "3DS file does not contain meshes"}], "the one message"
'
  ok "open, no meshes: the one message, no document"

  # A command button.
  "$host" command About --json >"$work/about.json" 2>"$work/err.txt" ||
    fail "command About exited non-zero: $(cat "$work/err.txt")"
  grep -qx '\[About\] Tessaly for SolidWorks 2013 version 1.0' "$work/err.txt" ||
    fail "command About showed no About box: $(cat "$work/err.txt")"
  check_json "$work/about.json" 'assert j == {"documents": [], "messages": []}, "nothing else"'
  ok "command About: the About box"

  # Disconnect takes the add-in's group and Open entry with it.
  "$after_disconnect" >"$work/disconnect.txt" 2>"$work/err.txt" ||
    fail "after disconnect: $(cat "$work/err.txt")"
  grep -qx 'connected: add-ins 1, connected 1, groups 1, open entries 1, event sinks 1' "$work/disconnect.txt" ||
    fail "before disconnect: $(cat "$work/disconnect.txt")"
  grep -qx 'disconnected: add-ins 1, connected 0, groups 0, open entries 0, event sinks 0' "$work/disconnect.txt" ||
    fail "after disconnect: $(cat "$work/disconnect.txt")"
  ok "disconnect removes the group, the Open entry and the event sink"

  "$host" unregister "$module" >"$work/out.txt" || fail "unregister exited non-zero"
  grep -q "DllUnregisterServer in .* succeeded" "$work/out.txt" || fail "unregister: $(cat "$work/out.txt")"
  local guid
  for guid in BE589EC6-6E2A-4858-8582-A92DAFDC633A EAB7A5DC-6809-4A94-AAFC-F98AF3B8A372 \
    542677CB-9ED7-461C-BF9E-F35C3DFCCCEC 4075CEE3-1453-4845-8E89-298D19A11C15 \
    1273AFDD-AE14-4D59-A71B-52A2671E63FA; do
    ! grep -qi "$guid" "$registry" || fail "unregister left $guid: $(grep -i "$guid" "$registry")"
  done
  ! grep -q 'MyTessaly' "$registry" || fail "unregister left: $(grep 'MyTessaly' "$registry")"
  local key
  for key in 'HKEY_CLASSES_ROOT "AppID"' 'HKEY_CLASSES_ROOT "CLSID"' 'HKEY_LOCAL_MACHINE "SOFTWARE"' \
    'HKEY_LOCAL_MACHINE "SOFTWARE" "SolidWorks"' 'HKEY_LOCAL_MACHINE "SOFTWARE" "SolidWorks" "AddIns"'; do
    grep -qx "key $key" "$registry" || fail "unregister removed the NoRemove key $key"
  done
  ok "unregister: none of the five GUIDs left, the NoRemove keys stay"

  expect_fail "open after unregistering" "$host" open "$shapes" "${solid[@]}"
  grep -q "no add-in is registered" "$work/err.txt" || fail "open after unregistering: $(cat "$work/err.txt")"
}

case "${1:-}" in
  road) shift && [ $# -eq 6 ] && road "$@" ;;
  usage) shift && [ $# -eq 2 ] && usage "$@" ;;
  *) fail "usage: end_to_end.sh road HOST MODULE WRITE_SAMPLE NO_MESHES AFTER_DISCONNECT WORKDIR | usage HOST WORKDIR" ;;
esac
echo PASS
