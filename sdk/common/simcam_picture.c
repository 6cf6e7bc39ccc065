/* Pictures of the simulated cameras: a trunk's cross-section with rings of varying width, drawn in
 * sensor coordinates and encoded with libjpeg, so every release and live-view frame is a real,
 * decodable JPEG of the size asked for. */
#include "simcam.h"

#include <stdio.h> /* before jpeglib.h, which uses FILE */

#include <jpeglib.h>

#include <math.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

void simcam_scene_default(simcam_scene* scene, int sensor_width, int sensor_height, unsigned seed)
{
    memset(scene, 0, sizeof *scene);
    scene->sensor_width = sensor_width;
    scene->sensor_height = sensor_height;
    scene->view_w = sensor_width;
    scene->view_h = sensor_height;
    scene->seed = seed;
    scene->r_gain = scene->g_gain = scene->b_gain = 256;
}

static unsigned next_random(unsigned* state)
{
    *state = *state * 1103515245u + 12345u;
    return (*state >> 16) & 0x7FFF;
}

/* Brightness of the wood at each whole distance from the pith: light early wood darkening towards
 * a sharp late-wood border, ring after ring. */
static unsigned char* ring_profile(unsigned seed, int length)
{
    unsigned char* profile = malloc((size_t)length);
    if (!profile)
        return NULL;
    unsigned state = seed * 2654435761u + 1u;
    int at = 0;
    while (at < length) {
        int width = 18 + (int)(next_random(&state) % 60); /* ring width in sensor pixels */
        for (int i = 0; i < width && at < length; ++i, ++at) {
            double t = (double)i / width;
            double v = t < 0.75 ? 200.0 - 50.0 * t : 110.0 - 60.0 * (t - 0.75) / 0.25;
            profile[at] = (unsigned char)v;
        }
    }
    return profile;
}

unsigned char* simcam_render_rgb(const simcam_scene* scene, int width, int height, uint32_t* histogram)
{
    if (width <= 0 || height <= 0)
        return NULL;
    unsigned char* rgb = malloc((size_t)width * (size_t)height * 3);
    if (!rgb)
        return NULL;
    const double sw = scene->sensor_width > 0 ? scene->sensor_width : width;
    const double sh = scene->sensor_height > 0 ? scene->sensor_height : height;
    /* The pith drifts a little from frame to frame, as a hand-held sample would. */
    const double cx = sw * 0.38 + 3.0 * sin(scene->frame * 0.21);
    const double cy = sh * 0.52 + 2.0 * cos(scene->frame * 0.17);
    const int length = (int)(sqrt(sw * sw + sh * sh)) + 2;
    unsigned char* profile = ring_profile(scene->seed, length);
    if (!profile) {
        free(rgb);
        return NULL;
    }
    const double vw = scene->view_w > 0 ? scene->view_w : sw;
    const double vh = scene->view_h > 0 ? scene->view_h : sh;
    const float sx = (float)(vw / width), sy = (float)(vh / height);
    /* Every pixel's colour follows from the wood's brightness there: one table per picture, and
     * the histogram counted per brightness and spread over the colours at the end. */
    unsigned char colours[256][3];
    for (int v = 0; v < 256; ++v) {
        int red = v * scene->r_gain / 256 + 40, green = v * scene->g_gain / 256 * 3 / 4 + 20,
            blue = v * scene->b_gain / 256 / 2 + 10;
        if (scene->gray)
            red = green = blue = (red * 77 + green * 150 + blue * 29) >> 8;
        colours[v][0] = (unsigned char)(red > 255 ? 255 : red);
        colours[v][1] = (unsigned char)(green > 255 ? 255 : green);
        colours[v][2] = (unsigned char)(blue > 255 ? 255 : blue);
    }
    uint32_t counts[256] = {0};
    const float left = (float)(scene->view_x - cx) + 0.5f * sx;
    for (int y = 0; y < height; ++y) {
        const float py = (float)(scene->view_y + (y + 0.5) * sy - cy);
        const float py2 = py * py;
        unsigned char* p = rgb + (size_t)y * (size_t)width * 3;
        for (int x = 0; x < width; ++x, p += 3) {
            const float px = left + (float)x * sx;
            int r = (int)sqrtf(px * px + py2);
            const unsigned char v = profile[r < length ? r : length - 1];
            p[0] = colours[v][0];
            p[1] = colours[v][1];
            p[2] = colours[v][2];
            ++counts[v];
        }
    }
    if (histogram) {
        memset(histogram, 0, 256 * 4 * sizeof(uint32_t));
        for (int v = 0; v < 256; ++v) {
            if (!counts[v])
                continue;
            const unsigned char* c = colours[v];
            histogram[((c[0] * 77 + c[1] * 150 + c[2] * 29) >> 8) * 4 + 0] += counts[v];
            histogram[c[0] * 4 + 1] += counts[v];
            histogram[c[1] * 4 + 2] += counts[v];
            histogram[c[2] * 4 + 3] += counts[v];
        }
    }
    free(profile);
    return rgb;
}

typedef struct {
    struct jpeg_error_mgr pub;
    jmp_buf jump;
} simcam_jpeg_error;

static void jpeg_error_exit(j_common_ptr info)
{
    simcam_jpeg_error* err = (simcam_jpeg_error*)info->err;
    longjmp(err->jump, 1);
}

static void jpeg_no_message(j_common_ptr info)
{
    (void)info;
}

int simcam_encode_jpeg(const unsigned char* rgb, int width, int height, int quality, unsigned char** out,
                       size_t* size)
{
    *out = NULL;
    *size = 0;
    if (!rgb || width <= 0 || height <= 0)
        return -1;
    struct jpeg_compress_struct info;
    simcam_jpeg_error err;
    /* Volatile: the buffer's address must survive the longjmp of a failure. */
    unsigned char* volatile buffer = NULL;
    unsigned long length = 0;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpeg_error_exit;
    err.pub.output_message = jpeg_no_message;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&info);
        free(buffer);
        return -1;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, (unsigned char**)&buffer, &length);
    info.image_width = (JDIMENSION)width;
    info.image_height = (JDIMENSION)height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = (JSAMPROW)(rgb + (size_t)info.next_scanline * (size_t)width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    *out = buffer;
    *size = length;
    return 0;
}

int simcam_make_jpeg(const simcam_scene* scene, int width, int height, int quality, unsigned char** out,
                     size_t* size, uint32_t* histogram)
{
    *out = NULL;
    *size = 0;
    unsigned char* rgb = simcam_render_rgb(scene, width, height, histogram);
    if (!rgb)
        return -1;
    int rc = simcam_encode_jpeg(rgb, width, height, quality, out, size);
    free(rgb);
    return rc;
}

int simcam_jpeg_size(const unsigned char* data, size_t size, int* width, int* height)
{
    /* Walks the markers up to the first start-of-frame, every length bounded by the bytes present. */
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return -1;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF)
            return -1;
        unsigned marker = data[at + 1];
        size_t len = ((size_t)data[at + 2] << 8) | data[at + 3];
        if (len < 2 || at + 2 + len > size)
            return -1;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (len < 7)
                return -1;
            *height = (data[at + 5] << 8) | data[at + 6];
            *width = (data[at + 7] << 8) | data[at + 8];
            return 0;
        }
        at += 2 + len;
    }
    return -1;
}
