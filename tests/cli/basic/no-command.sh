#!/usr/bin/env bash
vcpack
