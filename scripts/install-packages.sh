#!/bin/sh
# Installs what Tavrel needs to build, run and test on Debian 12. Run as root.
# --no-install-recommends keeps Qt's SQLite plugin out: it would load the plain
# libsqlite3 beside SQLCipher. fortunes-zh and python3-jieba give the scan
# benchmark its prose and its words; wrk and curl load and probe the exchange
# server in its benchmark; ca-certificates lets the mail check verify the
# server's certificate; clang and its runtime build the fuzz targets;
# qt6-translations-l10n gives Qt's buttons and file dialogs their Chinese;
# python3-jsonschema checks SARIF logs against their schema, and
# python3-rfc3987, only recommended by it, lets it check the logs' URIs;
# dpkg-dev, lintian, desktop-file-utils and appstream build and check the
# Debian package.
set -e
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
    cmake ninja-build g++ pkg-config libgtest-dev \
    qt6-base-dev libsqlcipher-dev libcurl4-openssl-dev libcpp-httplib-dev \
    python3-aiosmtpd xvfb xauth fonts-wqy-zenhei ca-certificates \
    fortunes-zh python3-jieba wrk curl clang libclang-rt-14-dev qt6-translations-l10n \
    python3-jsonschema python3-rfc3987 dpkg-dev lintian desktop-file-utils appstream file
