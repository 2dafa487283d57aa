#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run TessaroEQ.
#   scripts/install-deps.sh demo   what building and running the renderer needs (make demo)
#   scripts/install-deps.sh test   everything: also the test frameworks and the
#                                  real hosts the tests drive (make test; the default)
# Idempotent: only packages that are missing are installed.
set -euo pipefail

# Building the plug-in and the renderer.
build_packages=(
  # toolchain
  cmake ninja-build g++ make pkg-config ccache
  # JUCE from Debian
  juce-modules-source juce-tools
  # headers JUCE's modules compile against on Linux
  libasound2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxext-dev libxinerama-dev
  libxrandr-dev libxcursor-dev libxcomposite-dev libpng-dev libjpeg-dev zlib1g-dev
  libflac-dev libvorbis-dev libogg-dev
  # the embedded typefaces
  fonts-lato
)

# Running the tests.
test_packages=(
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # real hosts for scripts/host-check.sh: LV2 tools, jalv on a dummy JACK
  # server, and Ardour for VST3 (about 30 s to install)
  lilv-utils jalv jackd2 ardour
  # a display for the validators' editor tests
  xvfb xauth
  # the renderer test that checks what is synced to disk, and in which order
  strace
  # the reference FLAC decoder, which checks the renderer's FLAC results
  flac
  # the house style check (make format-check)
  clang-format
)

case "${1:-test}" in
  demo) packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *) echo "install-deps: unknown package set '$1' (demo or test)" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present (${1:-test})"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
