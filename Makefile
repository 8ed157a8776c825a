# Entry points: `make test` installs what is missing, builds and runs every test (plain, then the
# link, simulator and model-formatting tests under AddressSanitizer + UndefinedBehaviorSanitizer,
# then the link, simulator and view tests under ThreadSanitizer).
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: deps build test test-plain test-sanitize test-tsan test-tsan-view bench soak fuzz coverage demo install package format clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

test-plain: build
	cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALVEX_SANITIZE=ON -DTALVEX_CORE_ONLY=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# The link and simulator tests once more under ThreadSanitizer; any report fails the test.
TSAN_FLAGS = second_deadlock_stack=1
test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_TSAN=ON -DTALVEX_CORE_ONLY=ON
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="$(TSAN_FLAGS)" ctest --output-on-failure -j $(JOBS)

# The view's tests under ThreadSanitizer with the distribution's uninstrumented Qt: what Qt
# allocates itself is left out, and tests/tsan-qt.supp names the hand-offs through Qt's queues.
# QProcess starts the program under test through a vfork-like clone that shares the parent's
# memory: ThreadSanitizer marks the parent as a forked child and would end it at its next thread
# (die_after_fork=0); the child runs exec at once.
test-tsan-view: deps
	cmake -S . -B build-tsan-view -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_TSAN=ON
	cmake --build build-tsan-view -j $(JOBS) --target test_view
	cd build-tsan-view && QT_QPA_PLATFORM=offscreen \
	    TSAN_OPTIONS="$(TSAN_FLAGS) ignore_noninstrumented_modules=1 die_after_fork=0 suppressions=$(CURDIR)/tests/tsan-qt.supp" \
	    tests/test_view

test: test-plain test-sanitize test-tsan test-tsan-view

bench: build
	cmake --build build -j $(JOBS) --target benchmarks
	@for b in build/bench/bench_*; do if [ -f "$$b" ] && [ -x "$$b" ]; then "$$b" || exit 1; fi; done

# `make soak MINUTES=N`: N minutes of streaming to the client at 1,000 messages a second beside
# N minutes of fault runs (garbled and lost bytes, the device vanishing mid-message).
MINUTES ?= 1
soak: build
	build/tests/soak/talvex-soak --minutes $(MINUTES)

# `make fuzz`: every libFuzzer target for FUZZ_SECONDS each, then the coverage each reached.
FUZZ_TARGETS ?= definition items gif format panel_file stream pcapng
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps.sh clang-14 libclang-rt-14-dev libgif-dev
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_FUZZ=ON -DTALVEX_CORE_ONLY=ON \
	    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build build-fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	scripts/run-fuzz.sh $(CURDIR)/build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# `make coverage`: the whole suite on a build with gcc's coverage instrumentation (build-cov/),
# then line and branch coverage per folder, the least covered files, and build-cov/coverage/.
coverage:
	@scripts/install-deps.sh gcovr
	cmake -S . -B build-cov -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALVEX_COVERAGE=ON
	cmake --build build-cov -j $(JOBS)
	find build-cov -name '*.gcda' -delete
	cd build-cov && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	mkdir -p build-cov/coverage
	gcovr --root . --object-directory build-cov -j $(JOBS) --filter '(link|model|widgets|app|sim|gif)/' \
	    --exclude-unreachable-branches --exclude-throw-branches \
	    --json-summary build-cov/coverage.json --html-details build-cov/coverage/index.html
	@scripts/coverage-report.py build-cov/coverage.json

# Without a display the demo runs offscreen and leaves a screenshot of the connected panel.
demo: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    build/app/talvex --demo; \
	else \
	    QT_QPA_PLATFORM=offscreen build/app/talvex --demo --screenshot build/demo.png; \
	fi

# `make install PREFIX=... DESTDIR=...`: the programs with their desktop entry, icons, MIME type,
# manual pages, help page and demo panel.
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# A Debian package of the same tree, in build/package/.
package: build
	@scripts/install-deps.sh dpkg-dev file
	rm -f build/package/*.deb
	cd build && cpack --config CPackConfig.cmake
	@echo "Package: $$(ls "$(CURDIR)"/build/package/*.deb)"

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-tsan-view build-fuzz build-cov
