#!/usr/bin/env bash
# The manual of emcb-config names every option its --help texts name, so the two
# cannot drift apart unnoticed.  man_page_names_every_option.sh EMCB_CONFIG MAN_PAGE
set -euo pipefail
config=$1
page=$2
options=$( { "$config" --help; "$config" program --help; "$config" block --help;
  "$config" check --help; } |
  grep -oE -- '--[a-z][a-z-]*' | sort -u)
[ -n "$options" ] || { echo "FAILED: no options in the --help texts"; exit 1; }
missing=0
for option in $options; do
  # troff writes each hyphen as \-
  escaped=${option//-/\\\\-}
  if ! grep -q -- "$escaped" "$page"; then
    echo "FAILED: $page does not name $option"
    missing=1
  fi
done
[ "$missing" -eq 0 ] && echo "the manual names all $(echo "$options" | wc -l) options"
exit "$missing"
