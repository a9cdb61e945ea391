# The two commands: `make run` starts the program, `make test` runs every test.
# Both install what is missing from the Debian archive first (as root, or with sudo).

BUILD ?= build
PACKAGES := cmake g++ make pkg-config qt6-base-dev libgl-dev libgtest-dev \
            adwaita-icon-theme hicolor-icon-theme gtk-update-icon-cache shared-mime-info dbus-daemon \
            libxcb1-dev xvfb xauth openbox x11-utils appstream desktop-file-utils dpkg-dev file xdotool \
            libacl1-dev libattr1-dev libfontconfig-dev libdtl-dev libxxhash-dev trash-cli \
            openssh-server openssh-client rsync
# The benchmarks also need sshfs (the sshfs case) and gio (the Trash baseline).
BENCH_PACKAGES := sshfs openssh-server libglib2.0-bin
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: run test test-sanitizers e2e deps build bench bench-idle format install package

run: build
	./$(BUILD)/src/duoscope

# The GUI tests run twice: offscreen, and on an X server (Xvfb) that each
# such test starts for itself, so no display is needed.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

# Every test once more, built with the address and undefined-behaviour
# sanitizers in build-asan (not in CI). Qt's own allocations are not leaks of ours.
test-sanitizers: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
	    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
	cmake --build build-asan -j$$(nproc)
	cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure

# The key-driven check alone (it also runs within `make test`).
e2e: build
	cd $(BUILD) && ctest --output-on-failure -L e2e

# Every benchmark, about a quarter of an hour: one Markdown table on standard output,
# the programs' own output in $(BUILD)/bench.log.
bench: build
	@$(MAKE) --no-print-directory deps PACKAGES="$(BENCH_PACKAGES)"
	bench/run_all.sh $(BUILD)

# The idle window on an X server with a window manager, as a desktop runs it.
bench-idle: build
	tests/gui/on_xvfb.sh --wm ./$(BUILD)/bench/bench_idle 3000 10

# Into /usr/local (PREFIX=... for elsewhere), or a Debian package in $(BUILD).
PREFIX ?= /usr/local
install: build
	$(SUDO) cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$$(nproc)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
