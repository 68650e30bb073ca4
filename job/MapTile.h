#pragma once

#include <atomic>
#include <string>

class JobWindow;

// The map server's URL for a box of west/east/north/south degrees in an
// image `imageWidth` pixels wide and 4 % taller, the box likewise 4 % taller
// than asked, so the box's north and south edges fall 2 % inside the image.
std::string MapTileUrl(const std::string& host, double west, double east, double north, double south,
                       int imageWidth);

// Largest tile GIF accepted for an image `imageWidth` pixels wide: LZW never
// needs more than 12 bits a pixel, so two bytes a pixel and a margin for the
// colour map and extensions hold any honest tile.
unsigned long long MapTileMaxBytes(int imageWidth);

// Downloads the street map of a box into `gifFile`; returns the request's
// result (0 success) after logging the URL and the outcome.
int RequestMapTile(const std::string& gifFile, double west, double east, double north, double south,
                   int imageWidth, const std::string& host, JobWindow& window,
                   const std::atomic<bool>& cancelRequested, int timeoutSeconds);
