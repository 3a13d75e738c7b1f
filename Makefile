# QRX plug-ins: the two commands of README.md, plus install.
#   make demo     install what is missing, build, render the demo input
#   make test     install what is missing, build, run every test
#   make install  copy the plug-ins to ~/.vst

BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Debian packages the build and the tests need.
PACKAGES = cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev

.PHONY: all deps build test install demo clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

install: build
	mkdir -p $(HOME)/.vst
	cp $(BUILD)/grandpress.so $(BUILD)/tinypress.so $(HOME)/.vst/
	@echo "installed grandpress.so and tinypress.so in $(HOME)/.vst"

clean:
	rm -rf $(BUILD)
