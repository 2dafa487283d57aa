#!/usr/bin/env bash
# Runs the plug-in validators the plug-in world trusts on the built plug-in:
#   pluginval at strictness 10, editor tests included (under Xvfb), on the
#   VST3 and on the LV2 (by its URI), and Steinberg's VST3 validator in its
#   extensive mode on the VST3.
# Usage: scripts/validate.sh [BUILD_DIR]   (default: build)
# The tools are named by PLUGINVAL and VST3_VALIDATOR (make passes them).
# Logs go to BUILD_DIR/validate/; a failure names the test and the log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd) || { echo "validate: FAILED: no build folder ${1:-build}" >&2; exit 1; }
artefacts="$build/plugin_host/TessaroEQ_artefacts/Release"

product=$("$root/scripts/identity.sh" PRODUCT_NAME)
uri=$("$root/scripts/identity.sh" LV2_URI)
vst3_bundle="$artefacts/VST3/$product.vst3"
lv2_bundle="$artefacts/LV2/$product.lv2"

fail() { echo "validate: FAILED: $*" >&2; exit 1; }

: "${PLUGINVAL:?validate: set PLUGINVAL to the pluginval binary}"
: "${VST3_VALIDATOR:?validate: set VST3_VALIDATOR to the VST3 SDK validator binary}"
[ -x "$PLUGINVAL" ] || fail "pluginval not found at $PLUGINVAL"
[ -x "$VST3_VALIDATOR" ] || fail "VST3 validator not found at $VST3_VALIDATOR"
command -v xvfb-run >/dev/null 2>&1 || fail "xvfb-run is not installed (scripts/install-deps.sh installs xvfb and xauth)"
[ -d "$vst3_bundle" ] || fail "no VST3 bundle at $vst3_bundle (build first)"
[ -d "$lv2_bundle" ] || fail "no LV2 bundle at $lv2_bundle (build first)"

logs="$build/validate"
rm -rf "$logs"
mkdir -p "$logs"

# pluginval's LV2 host only looks in ~/.lv2 and the system folders, and hosts
# write caches and settings: everything goes to a scratch home.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/.lv2" "$scratch/cache" "$scratch/config" "$scratch/data"
cp -R "$lv2_bundle" "$scratch/.lv2/"

run_pluginval() {
  local name=$1 target=$2 log="$logs/pluginval-$1.txt"
  echo "validate: pluginval, strictness 10, $name ..."
  if ! HOME="$scratch" XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
       xvfb-run -a -s "-screen 0 1920x1080x24" \
       "$PLUGINVAL" --strictness-level 10 --timeout-ms 120000 --output-dir "$logs" --validate "$target" \
       >"$log" 2>&1; then
    echo "validate: pluginval failed on the $name:" >&2
    # The group that was running, and the failure lines under it.
    if grep -qE '^!!! Test|FAILED|Segmentation|Abort' "$log"; then
      grep -E '^Starting test|^!!! Test|FAILED|Segmentation|Abort' "$log" \
        | grep -B1 -E '^!!! Test|FAILED|Segmentation|Abort' | head -20 >&2
    else
      tail -20 "$log" >&2
    fi
    fail "pluginval on the $name (full log: $log)"
  fi
  echo "validate: ok: pluginval, strictness 10, $name"
}

run_pluginval VST3 "$vst3_bundle"
run_pluginval LV2 "$uri"

log="$logs/vst3-validator.txt"
echo "validate: Steinberg's VST3 validator -e ..."
if ! HOME="$scratch" XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
     "$VST3_VALIDATOR" -e "$vst3_bundle" >"$log" 2>&1; then
  grep -E '\[Failed\]|ERROR' "$log" | head -20 >&2 || true
  fail "VST3 validator (full log: $log)"
fi
result=$(grep -E 'Result: [0-9]+ tests passed, [0-9]+ tests failed' "$log" | tail -1)
[[ "$result" =~ ,\ 0\ tests\ failed ]] || fail "VST3 validator: ${result:-no result line} (full log: $log)"
echo "validate: ok: VST3 validator: ${result#*Result: }"
