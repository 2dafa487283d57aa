# TessaroEQ: build, test and demo entry points.
#   make demo   - install what is missing, build, render the example recording into out/
#   make test   - install what is missing, build everything, run every test
#                 (also the threading test under ThreadSanitizer)

BUILD      ?= build
TSAN_BUILD ?= build-tsan
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CTEST_ARGS := --output-on-failure --timeout 600 -j $(JOBS)

.PHONY: all deps configure build test unit-test tsan asan bench gallery screenshot demo install clean

all: build

deps:
	./scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

unit-test: build
	ctest --test-dir $(BUILD) $(CTEST_ARGS)

test: deps
	$(MAKE) unit-test
	$(MAKE) tsan

# The test suite under ThreadSanitizer and under AddressSanitizer with
# UndefinedBehaviorSanitizer. Only the test executables are built there.
tsan:
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_SANITIZER=thread
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target tessaro_threading_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD) $(CTEST_ARGS) -L threading

asan:
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_SANITIZER=address
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target tessaro_tests tessaro_threading_tests tessaro_widget_tests
	ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
	  ctest --test-dir $(ASAN_BUILD) $(CTEST_ARGS) -L 'unit|threading'

# The main job: equalise the example dish recording with a preset.
DEMO_PRESET ?= Singbird (Far)
demo: deps
	$(MAKE) configure
	cmake --build $(BUILD) -j $(JOBS) --target tessaroeq-render
	mkdir -p out
	$(BUILD)/tools/tessaroeq-render --preset "$(DEMO_PRESET)" \
	  --response out/dish-recording-eq.csv --plot out/dish-recording-eq.png \
	  examples/dish-recording.wav out/dish-recording-eq.wav
	@echo
	@echo "Equalised with the preset \"$(DEMO_PRESET)\":"
	@echo "  audio:    out/dish-recording-eq.wav"
	@echo "  response: out/dish-recording-eq.csv"
	@echo "  plot:     out/dish-recording-eq.png"

# Installs the plug-ins for the current user and the renderer into ~/.local/bin.
install: build
	mkdir -p $(HOME)/.vst3 $(HOME)/.lv2 $(HOME)/.local/bin
	rm -rf "$(HOME)/.vst3/Velmoor TessaroEQ.vst3" "$(HOME)/.lv2/Velmoor TessaroEQ.lv2"
	cp -R "$(BUILD)/plugin_host/TessaroEQ_artefacts/Release/VST3/Velmoor TessaroEQ.vst3" $(HOME)/.vst3/
	cp -R "$(BUILD)/plugin_host/TessaroEQ_artefacts/Release/LV2/Velmoor TessaroEQ.lv2" $(HOME)/.lv2/
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

clean:
	rm -rf $(BUILD) $(TSAN_BUILD) $(ASAN_BUILD) out
