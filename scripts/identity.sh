#!/usr/bin/env bash
# Prints one value of the plug-in's identity from plugin_host/PluginIdentity.cmake,
# the one place that holds it. Usage: scripts/identity.sh PRODUCT_NAME | LV2_URI | ...
set -euo pipefail
file="$(cd "$(dirname "$0")/.." && pwd)/plugin_host/PluginIdentity.cmake"
value=$(sed -n "s/^set(TESSARO_$1 *\"\(.*\)\")/\1/p" "$file")
[ -n "$value" ] || { echo "identity: no TESSARO_$1 in $file" >&2; exit 1; }
printf '%s\n' "$value"
