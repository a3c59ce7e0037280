# SPDX-License-Identifier: GPL-3.0-or-later
#
# Developer entry points. Every target installs the Debian packages it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
DEBS = cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools fonts-liberation qt6-translations-l10n
# Icons are rendered at build time; the install and package tests validate and start what
# they install.
DEBS += librsvg2-bin desktop-file-utils shared-mime-info appstream dpkg-dev file groff-base xvfb xauth
# Debian's package checker, run on the built package by its test.
DEBS += lintian
# orb-check's tests render its graphs and validate its JSON reports.
DEBS += graphviz python3-jsonschema
# orb-grade's HTML class report is rendered in a real browser by its test.
DEBS += chromium
# orb-bench reads orb-grade's peak memory with GNU time.
DEBS += time
# The graph window lays the automaton out with Graphviz's library and draws it with Qt SVG.
DEBS += libgraphviz-dev qt6-svg-dev
# orb-grade's TAP report is read back by Perl's prove and by npm's tap-parser (tools/tap).
DEBS += perl nodejs
# The commands the README, the guide and the manual pages show are run by a test; some pipe
# into jq.
DEBS += jq
# The learning-platform kits' tests read the classroom workflow as YAML.
DEBS += python3 python3-yaml
# A test makes a file immutable with chattr (not in Debian 13's minimal system).
DEBS += e2fsprogs
# The bundle: its RUNPATHs, Qt's Wayland plugins; its test's minimal Debian systems, made by
# debootstrap and entered with bubblewrap.
DEBS += patchelf qt6-wayland debootstrap bubblewrap

.PHONY: deps configure build run test package screenshots clean format-check tidy bundle test-bundle \
	gradescope-kit

deps:
	@missing=""; for p in $(DEBS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi
	@# npm comes with Debian's package of that name, or with a nodejs that provides it.
	@command -v npm >/dev/null || { SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq npm; }
	@# tap-parser at the version of the lock file, from the npm registry (once; then offline).
	@[ tools/tap/node_modules/.package-lock.json -nt tools/tap/package-lock.json ] || \
	  npm ci --prefix tools/tap --no-audit --no-fund --loglevel=error

# Extra configure options, e.g. `make test CMAKE_ARGS=-DORB_WERROR=ON` as CI runs it.
CMAKE_ARGS ?=

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/orb

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian package, $(BUILD)/orb_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

# ORB in one folder that runs on other Linux distributions without installing:
# $(BUILD)/orb-<version>-linux-x86_64.tar.gz (packaging/make-bundle.sh says what is in it).
bundle: build
	sh packaging/make-bundle.sh $(BUILD)

# The bundle checked as files and run in minimal Debian 12 and 13 systems without Qt, ICU or
# Graphviz (made by debootstrap once, kept in $(BUILD)/roots/), with the Gradescope kit. As root.
test-bundle: bundle
	sh packaging/test-bundle.sh $(BUILD) $(CURDIR)

# A Gradescope autograder for one assignment, $(BUILD)/autograder.zip:
# `make gradescope-kit TESTS=lab.orbtest [REFERENCE=lab-reference.orb]`. The reference, if
# given, must pass every case.
gradescope-kit: bundle
	@test -n "$(TESTS)" || { echo "usage: make gradescope-kit TESTS=FILE.orbtest [REFERENCE=FILE.orb]" >&2; exit 64; }
	@if [ -n "$(REFERENCE)" ]; then \
	  $(BUILD)/grade/orb-grade --quiet --reference "$(REFERENCE)" "$(TESTS)" "$(REFERENCE)" >/dev/null || \
	    { echo "gradescope-kit: the reference does not pass every case of $(TESTS)" >&2; exit 1; }; \
	fi
	python3 lms/gradescope/make_kit.py $(BUILD)/autograder.zip \
	  $(BUILD)/orb-$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(BUILD)/CMakeCache.txt)-linux-x86_64.tar.gz \
	  "$(TESTS)" "$(REFERENCE)"

# Every window and dialog as PNG files in $(BUILD)/screenshots/, rendered offscreen.
screenshots: build
	cmake --build $(BUILD) --target screenshots

clean:
	rm -rf $(BUILD)

# The tree as .clang-format says: lists every C++ file that is not and fails (CI runs it).
format-check:
	$(MAKE) deps DEBS="$(DEBS) clang-format"
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

# clang-tidy with .clang-tidy on TIDY_FILES (default: the C++ files changed since main), with
# the compile commands of the build folder.
TIDY_FILES ?= $(shell git diff --name-only --diff-filter=d main -- '*.cpp' 2>/dev/null)
tidy: configure
	$(MAKE) deps DEBS="$(DEBS) clang-tidy"
	$(if $(strip $(TIDY_FILES)),clang-tidy -p $(BUILD) --quiet $(TIDY_FILES),@echo "tidy: no changed C++ file")

# Fuzzing and sanitizers. `make fuzz FUZZ_SECONDS=600` for a long run; findings stop it.
FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
SANITIZE_BUILD ?= build-sanitize
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover -fno-omit-frame-pointer

.PHONY: fuzz test-sanitize

fuzz:
	$(MAKE) deps DEBS="$(DEBS) clang-14 libclang-rt-14-dev"
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_BUILD=$(FUZZ_BUILD) JOBS=$(JOBS) fuzz/run-fuzzers.sh

# Debug, so that Q_ASSERT and Qt's own container checks are on as well.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)"
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The timings of the performance table (README, Performance): a Release build of orb-bench in
# its own folder, run offscreen. It prints one row per action and fails when a target is missed.
BENCH_BUILD ?= build-bench

.PHONY: bench

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DORB_BENCH=ON
	cmake --build $(BENCH_BUILD) --target orb-bench -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BENCH_BUILD)/bench/orb-bench

# The monkey (tests/monkey) in the sanitizer build: random user actions on the real windows,
# one seed after another for MONKEY_SECONDS; a finding stops it with the seed, the numbered
# actions and the shrunk sequence, written to $(SANITIZE_BUILD)/monkey-findings/.
MONKEY_SECONDS ?= 600
MONKEY_SEED ?= $(shell date +%s)

.PHONY: monkey

monkey: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)"
	cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target orb-monkey
	cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  tests/orb-monkey --seed $(MONKEY_SEED) --seconds $(MONKEY_SECONDS) --out monkey-findings
