#pragma once
// Pictures with the detail of a photograph (sky, hills, shapes, grain), for samples and benchmarks.
#include <QImage>

// `grain` is the amplitude of the per-pixel noise (0 for none).
QImage makePhotoLikeImage(int width, int height, unsigned seed, int grain = 20);
