#!/usr/bin/env bash
vcpack --version
