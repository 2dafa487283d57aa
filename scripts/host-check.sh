#!/usr/bin/env bash
# Loads the built plug-in into real hosts from Debian and checks what they see:
#   LV2:  lv2ls and lv2info list it with its parameters and one audio input
#         and one output; jalv runs it on a dummy JACK server.
#   VST3: Ardour's scanner finds it as mono in / mono out; a headless Ardour
#         session plays a sine through it with the gain the response model
#         predicts, and gets the same parameter values back after a save and
#         a reload.
# Usage: scripts/host-check.sh [BUILD_DIR]   (default: build)
# Exits non-zero with a message naming the first check that failed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd) || { echo "host-check: FAILED: no build folder ${1:-build}" >&2; exit 1; }
artefacts="$build/plugin_host/TessaroEQ_artefacts/Release"
lv2_dir="$artefacts/LV2"
vst3_dir="$artefacts/VST3"
product=$("$(dirname "$0")/identity.sh" PRODUCT_NAME)
uri=$("$(dirname "$0")/identity.sh" LV2_URI)
vendor=$("$(dirname "$0")/identity.sh" COMPANY_NAME)
version=$("$(dirname "$0")/identity.sh" VERSION)
vst3_bundle="$vst3_dir/$product.vst3"
renderer="$build/tools/tessaroeq-render"

fail() { echo "host-check: FAILED: $*" >&2; exit 1; }
pass() { echo "host-check: ok: $*"; }

for tool in lv2ls lv2info jalv jackd jack_lsp ardour7-lua; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed (scripts/install-deps.sh installs it)"
done
[ -d "$lv2_dir/$product.lv2" ] || fail "no LV2 bundle in $lv2_dir (build first)"
[ -d "$vst3_bundle" ] || fail "no VST3 bundle in $vst3_dir (build first)"
[ -x "$renderer" ] || fail "no renderer at $renderer (build first)"

scratch=$(mktemp -d)
jack_pid=""
cleanup() {
  [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# ---------------------------------------------------------------- LV2
LV2_PATH="$lv2_dir" lv2ls | grep -qx "$uri" || fail "lv2ls does not list $uri"
info=$(LV2_PATH="$lv2_dir" lv2info "$uri") || fail "lv2info cannot read $uri"
grep -q "Name: *$product" <<<"$info" || fail "lv2info shows another name"
audio_in=$(grep -A1 "lv2core#AudioPort" <<<"$info" | grep -c "lv2core#InputPort" || true)
audio_out=$(grep -A1 "lv2core#AudioPort" <<<"$info" | grep -c "lv2core#OutputPort" || true)
[ "$audio_in" = 1 ] && [ "$audio_out" = 1 ] || fail "LV2 has $audio_in audio inputs and $audio_out outputs, not 1 and 1"
ttl="$lv2_dir/$product.lv2/dsp.ttl"
for id in microphone windCover lowCut distance aimingAccurancy freeField; do
  grep -q "plug:$id" "$ttl" || fail "LV2 description lacks the parameter $id"
done
# A host may leave an optional port unconnected; the audio ports must not be.
if awk '/lv2:AudioPort/ { audio = 1 } /^\t\]/ { audio = 0 } audio && /connectionOptional/ { found = 1 } END { exit !found }' "$ttl"; then
  fail "an LV2 audio port is declared lv2:connectionOptional"
fi
pass "lv2ls/lv2info: $uri, 6 parameters, 1 audio input, 1 audio output, none optional"

export JACK_DEFAULT_SERVER="tessaro-check-$$"
jackd --no-realtime -d dummy -r 48000 -p 512 >"$scratch/jackd.log" 2>&1 &
jack_pid=$!
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_lsp >/dev/null 2>&1 || fail "the dummy JACK server did not start ($(tail -1 "$scratch/jackd.log"))"

(sleep 4) | LV2_PATH="$lv2_dir" jalv "$uri" >"$scratch/jalv.log" 2>&1 &
jalv_pid=$!
ports=""
for _ in $(seq 30); do
  ports=$(jack_lsp 2>/dev/null | grep "^$product:" || true)
  [ -n "$ports" ] && break
  sleep 0.1
done
sleep 1
kill -0 "$jalv_pid" 2>/dev/null || fail "jalv exited early: $(tail -3 "$scratch/jalv.log")"
[ "$(grep -c 'audio_in' <<<"$ports")" = 1 ] && [ "$(grep -c 'audio_out' <<<"$ports")" = 1 ] \
  || fail "jalv's JACK ports are not one audio input and one output: $ports"
wait "$jalv_pid" 2>/dev/null || true
kill "$jack_pid" 2>/dev/null || true; wait "$jack_pid" 2>/dev/null || true; jack_pid=""
pass "jalv runs it on a dummy JACK server (ports: $(tr '\n' ' ' <<<"$ports"))"

# ---------------------------------------------------------------- VST3
export HOME="$scratch/home"
mkdir -p "$HOME"
scan=$(LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -v -f "$vst3_bundle" 2>&1) \
  || fail "Ardour's VST3 scanner failed: $(tail -3 <<<"$scan")"
grep -q "name=\"$product\" vendor=\"$vendor\"" <<<"$scan" || fail "the VST3 scanner did not find the plug-in"
grep -q 'n_inputs="1" n_outputs="1" n_aux_inputs="0" n_aux_outputs="0"' <<<"$scan" \
  || fail "the VST3 scanner does not see mono in / mono out"
grep -q "version=\"$version\"" <<<"$scan" || fail "the VST3 scanner sees another version"
pass "Ardour's VST3 scanner: $product $version, 1 input, 1 output"

# The prediction: the model's gain at grid point 100 (201.587 Hz) for the
# settings the session uses (wind cover Windjammer, the rest at defaults).
"$renderer" -q --wind-cover windjammer --sample-rate 48000 --response "$scratch/response.csv" \
  || fail "the renderer could not write the response"
predicted=$(sed -n '102p' "$scratch/response.csv" | cut -d, -f2)

# The start of every session script: a new session on the dummy backend with
# one track: a sine generator at 201.587 Hz, -20 dBFS, into the plug-in.
session_start() {
  cat <<LUA
ARDOUR.config ():set_hide_dummy_backend (false)
AudioEngine:set_backend ("None (Dummy)", "", "")
assert (AudioEngine:start (false) == 0, "dummy backend did not start")
assert (create_session ("$1", "$2", 48000), "no session")
local track = Session:new_audio_track (1, 1, nil, 1, "dish", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front ()
local gen = ARDOUR.LuaAPI.new_luaproc (Session, "SinGen")
local eq = ARDOUR.LuaAPI.new_plugin (Session, "$product", ARDOUR.PluginType.VST3, "")
assert (not eq:isnil (), "Ardour cannot create the VST3 plug-in")
track:add_processor_by_index (gen, 0, nil, true)
track:add_processor_by_index (eq, 1, nil, true)
ARDOUR.LuaAPI.set_processor_param (gen, 0, 201.587)
ARDOUR.LuaAPI.set_processor_param (gen, 1, -20)
LUA
}

session_start "$scratch/session" check >"$scratch/session.lua"
cat >>"$scratch/session.lua" <<LUA
ARDOUR.LuaAPI.set_processor_param (eq, 1, 0.5)   -- wind cover: Windjammer
Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep (1500000)
local meter = track:peak_meter ()
meter:reset_max ()
ARDOUR.LuaAPI.usleep (1000000)
local wet = meter:meter_level (0, ARDOUR.MeterType.MeterPeak)
eq:deactivate ()
ARDOUR.LuaAPI.usleep (300000)
meter:reset_max ()
ARDOUR.LuaAPI.usleep (1000000)
local dry = meter:meter_level (0, ARDOUR.MeterType.MeterPeak)
eq:activate ()
print (string.format ("GAIN %.4f", wet - dry))
Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep (200000)
local values = { 1.0, 0.5, 0.0, 0.8, 0.35, 0.9 }   -- microphone C, Windjammer, low cut off, ...
for i, v in ipairs (values) do ARDOUR.LuaAPI.set_processor_param (eq, i - 1, v) end
local before = {}
for i = 0, 5 do before[#before + 1] = string.format ("%.6f", ARDOUR.LuaAPI.get_processor_param (eq, i)) end
print ("BEFORE " .. table.concat (before, " "))
Session:save_state ("", false, false, false, false, false)
close_session ()
assert (load_session ("$scratch/session", "check"), "the saved session does not load")
local loaded = nil
for r in Session:get_routes ():iter () do
  if r:name () == "dish" then loaded = r:nth_plugin (1) end
end
assert (loaded and not loaded:isnil (), "the reloaded session has no plug-in")
local after = {}
for i = 0, 5 do after[#after + 1] = string.format ("%.6f", ARDOUR.LuaAPI.get_processor_param (loaded, i)) end
print ("AFTER " .. table.concat (after, " "))
close_session ()
LUA

VST3_PATH="$vst3_dir" timeout 300 stdbuf -o0 ardour7-lua "$scratch/session.lua" >"$scratch/ardour.log" 2>&1 \
  || fail "the Ardour session script failed: $(grep -v '^\[WARNING\]' "$scratch/ardour.log" | tail -3)"
measured=$(sed -n 's/^GAIN //p' "$scratch/ardour.log")
[ -n "$measured" ] || fail "the Ardour session measured nothing: $(tail -3 "$scratch/ardour.log")"
awk -v m="$measured" -v p="$predicted" 'BEGIN { d = m - p; if (d < 0) d = -d; exit !(d <= 0.1) }' \
  || fail "Ardour measured $measured dB at 201.6 Hz where the model predicts $predicted dB"
pass "Ardour plays a 201.6 Hz sine through it: $measured dB, the model predicts $predicted dB"

before=$(sed -n 's/^BEFORE //p' "$scratch/ardour.log")
after=$(sed -n 's/^AFTER //p' "$scratch/ardour.log")
[ -n "$before" ] && [ "$before" = "$after" ] || fail "parameters after save and reload ($after) differ from before ($before)"
pass "Ardour session saved and reloaded with the same parameter values ($after)"

# Host presets: Ardour lists the program list as presets. Loading one sets
# the correction; a distance moved after it survives a save and a reload,
# also though the host stores the chosen preset with the session.
preset="Singbird (Far)"
tweaked_distance=0.65
"$renderer" -q --preset "$preset" --sample-rate 48000 --response "$scratch/preset.csv" \
  || fail "the renderer could not write the preset's response"
"$renderer" -q --preset "$preset" --distance 65 --sample-rate 48000 --response "$scratch/tweaked.csv" \
  || fail "the renderer could not write the tweaked response"
predicted_preset=$(sed -n '102p' "$scratch/preset.csv" | cut -d, -f2)
predicted_tweaked=$(sed -n '102p' "$scratch/tweaked.csv" | cut -d, -f2)

session_start "$scratch/presets" presets >"$scratch/presets.lua"
cat >>"$scratch/presets.lua" <<LUA

local function gain (route)
  local meter = route:peak_meter ()
  meter:reset_max ()
  ARDOUR.LuaAPI.usleep (800000)
  return meter:meter_level (0, ARDOUR.MeterType.MeterPeak) + 20
end
local function params (p)
  local v = {}
  for i = 0, 5 do v[#v + 1] = string.format ("%.6f", ARDOUR.LuaAPI.get_processor_param (p, i)) end
  return table.concat (v, " ")
end

Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep (1000000)
local plug = eq:to_insert ():plugin (0)
local preset = plug:preset_by_label ("$preset")
assert (preset ~= nil, "Ardour lists no preset '$preset'")
assert (plug:load_preset (preset), "Ardour could not load the preset")
ARDOUR.LuaAPI.usleep (500000)
print (string.format ("PRESET_GAIN %.4f", gain (track)))
ARDOUR.LuaAPI.set_processor_param (eq, 3, $tweaked_distance)
ARDOUR.LuaAPI.usleep (300000)
print (string.format ("TWEAKED_GAIN %.4f", gain (track)))
print ("TWEAKED " .. params (eq))
Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep (200000)
Session:save_state ("", false, false, false, false, false)
close_session ()

assert (load_session ("$scratch/presets", "presets"), "the saved session does not load")
local loaded, route = nil, nil
for r in Session:get_routes ():iter () do
  if r:name () == "dish" then route = r; loaded = r:nth_plugin (1) end
end
assert (loaded and not loaded:isnil (), "the reloaded session has no plug-in")
print ("RELOADED " .. params (loaded))
Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep (1000000)
print (string.format ("RELOADED_GAIN %.4f", gain (route)))
Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
close_session ()
LUA

VST3_PATH="$vst3_dir" timeout 300 stdbuf -o0 ardour7-lua "$scratch/presets.lua" >"$scratch/presets.log" 2>&1 \
  || fail "the Ardour preset script failed: $(grep -v '^\[WARNING\]' "$scratch/presets.log" | tail -3)"
near() { awk -v m="$1" -v p="$2" 'BEGIN { d = m - p; if (d < 0) d = -d; exit !(d <= 0.1) }'; }
preset_gain=$(sed -n 's/^PRESET_GAIN //p' "$scratch/presets.log")
tweaked_gain=$(sed -n 's/^TWEAKED_GAIN //p' "$scratch/presets.log")
reloaded_gain=$(sed -n 's/^RELOADED_GAIN //p' "$scratch/presets.log")
tweaked=$(sed -n 's/^TWEAKED //p' "$scratch/presets.log")
reloaded=$(sed -n 's/^RELOADED //p' "$scratch/presets.log")
[ -n "$preset_gain" ] && near "$preset_gain" "$predicted_preset" \
  || fail "after loading the preset '$preset' Ardour measured ${preset_gain:-nothing} dB at 201.6 Hz where it gives $predicted_preset dB"
pass "Ardour loads the preset '$preset': $preset_gain dB at 201.6 Hz, as the preset gives ($predicted_preset dB)"
[ -n "$tweaked_gain" ] && near "$tweaked_gain" "$predicted_tweaked" \
  || fail "with the distance moved after the preset Ardour measured ${tweaked_gain:-nothing} dB where the model gives $predicted_tweaked dB"
[ -n "$reloaded" ] && [ "$reloaded" = "$tweaked" ] \
  || fail "the reloaded session's parameters ($reloaded) differ from those saved after the preset and the change ($tweaked)"
[ -n "$reloaded_gain" ] && near "$reloaded_gain" "$tweaked_gain" \
  || fail "the reloaded session measured ${reloaded_gain:-nothing} dB where it was saved with $tweaked_gain dB"
pass "preset, then distance moved, saved and reloaded: the same values ($reloaded) and gain ($reloaded_gain dB)"

echo "host-check: all checks passed"
