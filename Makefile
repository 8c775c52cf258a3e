# Entry points; README.md explains them. Every target installs what a fresh Debian 12 machine lacks.
JOBS ?= 2
PREFIX ?= /usr/local

.PHONY: all deps build release run install package test test-asan test-tsa test-wayland-bed fuzz screenshots bench format po

all: build

deps:
	bash tools/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

# What a user runs and installs: the programs alone, built without the test seams (preset
# `release`, build/release); the tests keep theirs in build/default.
release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

run: release
	bash tools/run-main-job.sh build/release

# The program, vexa-record, the desktop entry and the icons under $(PREFIX) (sudo for /usr/local).
install: release
	cmake --install build/release --prefix $(PREFIX)

# The Debian package build/release/package/vexarecorder_<version>_<arch>.deb from the release build
# (`apt install ./build/release/package/vexarecorder_*.deb` installs it).
package: release
	rm -rf build/release/package
	cpack --config build/release/CPackConfig.cmake -B build/release/package
	rm -rf build/release/package/_CPack_Packages

test: build
	bash tools/with-test-env.sh ctest --preset default -j $(JOBS)

# vexa-record and the desktop program on a real Wayland desktop (headless sway, PipeWire, the wlr
# portal; DESKTOP=kde: kwin_wayland with the KDE portal, DESKTOP=gnome: headless mutter with the GNOME
# portal instead); a few minutes, and heavy to
# install, so not part of `test`. tools/wayland-bed/README.md describes the bed.
DESKTOP ?= sway
test-wayland-bed: build
	bash tools/install-deps.sh $(if $(filter kde gnome,$(DESKTOP)),--wayland-bed-$(DESKTOP),--wayland-bed)
	DESKTOP=$(DESKTOP) bash tools/run-wayland-bed.sh build/default

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	bash tools/with-test-env.sh ctest --preset asan -j $(JOBS)

# The layers whose shared state carries lock annotations, compiled by clang with -Wthread-safety.
TSA_TARGETS = vexa_platform vexa_engine vexa_settings vexa_net vexa_cli vexa_desktop

test-tsa: deps
	cmake --preset tsa
	cmake --build --preset tsa -j $(JOBS) --target $(TSA_TARGETS)

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target \
	  $$(ninja -C build/fuzz -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u)
	bash tools/run-fuzzers.sh build/fuzz

screenshots: build
	bash tools/make-screenshots.sh

bench: build
	bash tools/with-test-env.sh bash bench/run-all.sh

# The catalogues' template from the sources, merged into every po/*.po (then translate what is new).
po:
	python3 tools/po-texts.py pot . po/vexarecorder.pot
	for po in po/*.po; do msgmerge --quiet --update --backup=none --no-fuzzy-matching "$$po" po/vexarecorder.pot; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
