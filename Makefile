# The two commands: `make run` starts the program, `make test` runs every test.
# Both install what is missing from the Debian archive first (as root, or with sudo).

BUILD ?= build
PACKAGES := cmake g++ make pkg-config qt6-base-dev libgl-dev libgtest-dev \
            adwaita-icon-theme hicolor-icon-theme shared-mime-info dbus-daemon
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: run test deps build bench format

run: build
	./$(BUILD)/src/duoscope

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

bench: build
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/bench_refresh

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
