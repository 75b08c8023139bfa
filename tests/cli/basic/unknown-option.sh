#!/usr/bin/env bash
vcpack list --colour pkg
