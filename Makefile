# The two set-up commands: `make demo` and `make test`.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
ASAN_BUILD := build-asan
BIN := $(BUILD)/zephyr-elk

.PHONY: all deps build build-asan demo test install clean bench

all: build

# Installs what a fresh Debian machine lacks (as root, or through sudo).
deps:
	@missing=""; \
	for p in g++ cmake make libgtest-dev findutils; do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -q && $$SUDO apt-get install -y -q $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZK_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

demo: build
	@bash examples/demo.sh $(BIN)

test: build build-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=halt_on_error=1:detect_leaks=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	@bash bench/run.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
