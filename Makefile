# The two set-up commands: `make demo` and `make test`.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
ASAN_BUILD := build-asan
BIN := $(BUILD)/zephyr-elk
FUZZ_BUILD := build-fuzz
# Seconds of fuzzing per target, and the targets (all files of fuzz/).
FUZZ_SECONDS ?= 180
FUZZ_TARGETS ?= $(basename $(notdir $(wildcard fuzz/*.cpp)))
DEPS ?= g++ cmake make libgtest-dev findutils
# Used by some tests, which skip their checks without them.
OPTIONAL_DEPS ?= graphviz vim

.PHONY: all deps build build-asan demo test install clean bench fuzz

all: build

# Installs what a fresh Debian machine lacks (as root, or through sudo).
deps:
	@missing=""; \
	for p in $(DEPS); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	optional=""; \
	for p in $(OPTIONAL_DEPS); do \
	  dpkg -s $$p >/dev/null 2>&1 || optional="$$optional $$p"; \
	done; \
	if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	if [ -n "$$missing$$optional" ]; then $$SUDO apt-get update -q || true; fi; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $$SUDO apt-get install -y -q $$missing || exit 1; \
	fi; \
	if [ -n "$$optional" ]; then \
	  echo "installing (optional):$$optional"; \
	  $$SUDO apt-get install -y -q $$optional || echo "optional packages not installed:$$optional"; \
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

# libFuzzer with AddressSanitizer and UBSan, one target at a time; inputs
# that reach new code are merged into the saved corpus under fuzz/corpus.
fuzz:
	@$(MAKE) --no-print-directory deps DEPS="cmake make clang-14 libclang-rt-14-dev libgtest-dev"
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZK_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	@bash bench/run.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
