# TessaroEQ: build, test and demo entry points.
#   make demo   - install what the renderer needs, build it, render the example recording into out/
#   make test   - install everything the tests need, build everything, run every test
#                 (the plug-in validators when they are found, and the
#                 threading test under ThreadSanitizer)

BUILD      ?= build
TSAN_BUILD ?= build-tsan
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CTEST_ARGS := --output-on-failure --timeout 600 -j $(JOBS)

# The plug-in validators (pluginval, Steinberg's VST3 validator). `make test`
# runs them when they are found; REQUIRE_VALIDATORS=1 (CI) makes their absence
# an error.
# The first of these folders that exists (a checkout beside shared/, or one
# level deeper, or the machines' usual place).
TOOLS_DIR          ?= $(firstword $(wildcard $(abspath ../shared/tools) $(abspath ../../shared/tools) /work/shared/tools))
PLUGINVAL          ?= $(if $(wildcard $(TOOLS_DIR)/pluginval),$(TOOLS_DIR)/pluginval)
VST3_VALIDATOR     ?= $(if $(wildcard $(TOOLS_DIR)/validator),$(TOOLS_DIR)/validator)
REQUIRE_VALIDATORS ?= 0

.PHONY: all deps deps-demo configure configure-demo build test unit-test tsan asan validate validate-if-found bench format format-check gallery screenshot demo install clean

all: build

deps:
	./scripts/install-deps.sh test

deps-demo:
	./scripts/install-deps.sh demo

# The build folder is shared: the demo configures it without the tests (it
# needs neither GoogleTest nor Google Benchmark) only when it is new, and
# every other target turns them on again if the demo had left them off.
configure:
	@if [ ! -f $(BUILD)/build.ninja ] || grep -q '^TESSARO_BUILD_TESTS:BOOL=OFF$$' $(BUILD)/CMakeCache.txt; then \
	  cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTESSARO_BUILD_TESTS=ON; \
	fi

configure-demo:
	@if [ ! -f $(BUILD)/build.ninja ]; then \
	  cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTESSARO_BUILD_TESTS=OFF; \
	fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

unit-test: build
	ctest --test-dir $(BUILD) $(CTEST_ARGS)

test: deps
	$(MAKE) format-check
	$(MAKE) unit-test
	$(MAKE) validate-if-found
	$(MAKE) tsan

validate: build
	PLUGINVAL="$(PLUGINVAL)" VST3_VALIDATOR="$(VST3_VALIDATOR)" ./scripts/validate.sh $(BUILD)

validate-if-found:
	@if [ -n "$(PLUGINVAL)" ] && [ -n "$(VST3_VALIDATOR)" ]; then \
	  $(MAKE) validate; \
	elif [ "$(REQUIRE_VALIDATORS)" = 1 ]; then \
	  echo "validate: FAILED: pluginval or the VST3 validator is missing (set PLUGINVAL and VST3_VALIDATOR, or put them in $(TOOLS_DIR))" >&2; exit 1; \
	else \
	  echo "validate: SKIPPED: pluginval or the VST3 validator not found (looked in $(TOOLS_DIR); set PLUGINVAL and VST3_VALIDATOR)"; \
	fi

# The test suite under ThreadSanitizer and under AddressSanitizer with
# UndefinedBehaviorSanitizer. Only the test executables are built there.
tsan:
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_SANITIZER=thread
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target tessaro_threading_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD) $(CTEST_ARGS) -L threading

asan:
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_SANITIZER=address
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target tessaro_tests tessaro_host_tests tessaro_threading_tests tessaro_widget_tests tessaro_render_tests tessaroeq-render
	ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
	  ctest --test-dir $(ASAN_BUILD) $(CTEST_ARGS) -L 'unit|threading|render'

# The main job: equalise the example dish recording with a preset.
DEMO_PRESET ?= Singbird (Far)
demo: deps-demo
	$(MAKE) configure-demo
	cmake --build $(BUILD) -j $(JOBS) --target tessaroeq-render
	mkdir -p out
	$(BUILD)/tools/tessaroeq-render --preset "$(DEMO_PRESET)" \
	  --response out/dish-recording-eq.csv --plot out/dish-recording-eq.png \
	  --spectrum out/dish-recording-spectrum.png \
	  examples/dish-recording.wav out/dish-recording-eq.wav
	@echo
	@echo "Equalised with the preset \"$(DEMO_PRESET)\":"
	@echo "  audio:    out/dish-recording-eq.wav"
	@echo "  response: out/dish-recording-eq.csv"
	@echo "  plot:     out/dish-recording-eq.png"
	@echo "  spectrum: out/dish-recording-spectrum.png (before and after)"

# Installs the plug-ins for the current user and the renderer into ~/.local/bin.
# The bundle names come from the plug-in's identity (plugin_host/PluginIdentity.cmake).
PRODUCT_NAME = $(shell ./scripts/identity.sh PRODUCT_NAME)
ARTEFACTS    = $(BUILD)/plugin_host/TessaroEQ_artefacts/Release
install: build
	mkdir -p $(HOME)/.vst3 $(HOME)/.lv2 $(HOME)/.local/bin
	rm -rf "$(HOME)/.vst3/$(PRODUCT_NAME).vst3" "$(HOME)/.lv2/$(PRODUCT_NAME).lv2"
	cp -R "$(ARTEFACTS)/VST3/$(PRODUCT_NAME).vst3" $(HOME)/.vst3/
	cp -R "$(ARTEFACTS)/LV2/$(PRODUCT_NAME).lv2" $(HOME)/.lv2/
	cp $(BUILD)/tools/tessaroeq-render $(HOME)/.local/bin/

# Renders the editor headlessly into docs/ (default settings, about panel, a preset).
screenshot: configure
	cmake --build $(BUILD) -j $(JOBS) --target tessaroeq-screenshot
	$(BUILD)/tools/tessaroeq-screenshot docs

# Renders the widget library's components to build/gallery/*.png.
gallery: configure
	cmake --build $(BUILD) -j $(JOBS) --target tessaroeq-widget-gallery
	$(BUILD)/tools/tessaroeq-widget-gallery $(BUILD)/gallery

bench: build
	$(BUILD)/bench/tessaro_bench

# The house style (.clang-format), for every C++ file in the repository.
SOURCES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(SOURCES)

format-check:
	@clang-format --dry-run -Werror $(SOURCES) && echo "format-check: every source is in the house style"

clean:
	rm -rf $(BUILD) $(TSAN_BUILD) $(ASAN_BUILD) out
