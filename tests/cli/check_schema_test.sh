#!/usr/bin/env bash
# Validates check --format json against docs/check-schema.json with the
# jsonschema package: the sample book as it is, and edited so that every kind
# of finding (drift and template included) appears.
# Usage: check_schema_test.sh PROGRAM SOURCE_DIR PYTHON
set -euo pipefail
program=$1 source=$2 python=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$source/samples/manual" "$scratch/manual"

validate() {
  "$python" - "$source/docs/check-schema.json" "$1" <<'PY'
import json, sys, jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[2])))
PY
}

set +e
"$program" check --format json "$scratch/manual/manual.book" >"$scratch/plain.json"
[[ $? == 1 ]] || { echo "expected exit 1"; exit 1; }
# Drift: Format A gets another left indent in one chapter; a template with a format of its own.
sed -i '0,/<TblLIndent 0.0 pt>/s//<TblLIndent 9.0 pt>/' "$scratch/manual/intro.mif"
sed 's/`Legacy'"'"'/`House'"'"'/' "$scratch/manual/glossary.mif" >"$scratch/house.mif"
"$program" check --format json --fail-on all --template "$scratch/house.mif" "$scratch/manual/manual.book" \
  >"$scratch/all.json"
[[ $? == 1 ]] || { echo "expected exit 1"; exit 1; }
set -e
validate "$scratch/plain.json"
validate "$scratch/all.json"
for kind in unused missing-format override case-variant body-first-row drift template; do
  grep -q "\"kind\": \"$kind\"" "$scratch/all.json" || { echo "no $kind finding to validate"; exit 1; }
done
echo "valid"
