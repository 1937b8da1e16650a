# Two commands for a new user: `make demo` and `make test`.
# Both install the Debian packages the project needs (only those missing) and build.

SHELL := /bin/bash
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

DEB_PACKAGES := cmake ninja-build g++ clang pkg-config libclang-rt-14-dev \
	libgd-dev libpng-dev libjpeg62-turbo-dev libfontconfig-dev libfreetype-dev \
	libexpat1-dev libbrotli-dev zlib1g-dev libisal-dev isal libhdf5-dev libaec-dev \
	libnetcdf-dev libeccodes-dev \
	libgtest-dev libgmock-dev libbenchmark-dev libzip-dev zip unzip \
	fonts-nanum fonts-baekmuk fonts-liberation \
	netcdf-bin hdf5-tools libeccodes-tools pngcheck proj-bin imagemagick \
	python3 python3-netcdf4 python3-h5py python3-numpy lighttpd curl time

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps release asan tsan test test-release test-asan test-tsan demo bench fuzz mutants format clean

all: release

deps:
	@missing=$$(for p in $(DEB_PACKAGES); do \
		dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing missing Debian packages:" $$missing; \
		$(SUDO) apt-get update -q && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi

release: deps
	cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/release -j $(JOBS)

asan: deps
	cmake -S . -B $(BUILD)/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRDR_SANITIZE=ON
	cmake --build $(BUILD)/asan -j $(JOBS)

# ThreadSanitizer build of the tests that start threads (the site VIL and its CAPPI workers,
# the composite guide image's three forecast readers, the UF loader's read-ahead inflate).
tsan: deps
	cmake -S . -B $(BUILD)/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRDR_TSAN=ON
	cmake --build $(BUILD)/tsan -j $(JOBS) --target cgi_site_tests cgi_comp_tests rdr_input_tests

test-release: release
	cd $(BUILD)/release && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(BUILD)/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

test-tsan: tsan
	cd $(BUILD)/tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
		ctest --output-on-failure --no-tests=error -j $(JOBS) -R 'Threaded'

test: test-release test-asan test-tsan

demo: release
	./tools/demo.sh $(BUILD)/release

bench: release
	./tools/bench.sh $(BUILD)/release

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRDR_FUZZ=ON
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target fuzzers
	./tools/fuzz.sh $(BUILD)/fuzz $(FUZZ_SECONDS)

# Plants each fault of tools/mutants.txt in a copy of the tree and runs the suite against it.
mutants: deps
	/usr/bin/python3 tools/mutants.py

format:
	git ls-files '*.cc' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
