/* A pointer for tests on a headless wlroots desktop, which has no input
 * device of its own: creates a virtual pointer and moves it as told, one
 * command a line on stdin ("move X Y" in layout pixels, "down", "up"),
 * until the end of input. The protocol's two interfaces are spelt out here
 * as Debian ships no copy of its XML. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

static const struct wl_interface zwlr_virtual_pointer_v1_interface;
static const struct wl_interface* create_types[] = {&wl_seat_interface,
                                                    &zwlr_virtual_pointer_v1_interface};
static const struct wl_message manager_requests[] = {
    {"create_virtual_pointer", "?on", create_types},
    {"destroy", "", NULL},
};
static const struct wl_interface zwlr_virtual_pointer_manager_v1_interface = {
    "zwlr_virtual_pointer_manager_v1", 1, 2, manager_requests, 0, NULL};
static const struct wl_interface* no_types[8];
static const struct wl_message pointer_requests[] = {
    {"motion", "uff", no_types},       {"motion_absolute", "uuuuu", no_types},
    {"button", "uuu", no_types},       {"axis", "uuf", no_types},
    {"frame", "", no_types},           {"axis_source", "u", no_types},
    {"axis_stop", "uu", no_types},     {"axis_discrete", "uufi", no_types},
    {"destroy", "", no_types},
};
static const struct wl_interface zwlr_virtual_pointer_v1_interface = {
    "zwlr_virtual_pointer_v1", 1, 9, pointer_requests, 0, NULL};

enum { MOTION_ABSOLUTE = 1, BUTTON = 2, FRAME = 4 };
#define BTN_LEFT 0x110

static struct wl_proxy* manager;
static struct wl_seat* seat;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    else if (strcmp(interface, "wl_seat") == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}
static void global_remove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}
static const struct wl_registry_listener listener = {global, global_remove};

static uint32_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

int main(int argc, char** argv)
{
    unsigned width = argc > 2 ? (unsigned)atoi(argv[1]) : 1920;
    unsigned height = argc > 2 ? (unsigned)atoi(argv[2]) : 1080;
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "vpointer: no Wayland display\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "vpointer: the compositor has no virtual pointers\n");
        return 1;
    }
    struct wl_proxy* pointer = wl_proxy_marshal_constructor(
        manager, 0, &zwlr_virtual_pointer_v1_interface, seat, NULL);
    wl_display_roundtrip(display);
    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        unsigned x, y;
        if (sscanf(line, "move %u %u", &x, &y) == 2)
            wl_proxy_marshal(pointer, MOTION_ABSOLUTE, now_ms(), x, y, width, height);
        else if (strncmp(line, "down", 4) == 0)
            wl_proxy_marshal(pointer, BUTTON, now_ms(), BTN_LEFT, 1u);
        else if (strncmp(line, "up", 2) == 0)
            wl_proxy_marshal(pointer, BUTTON, now_ms(), BTN_LEFT, 0u);
        else
            continue;
        wl_proxy_marshal(pointer, FRAME);
        if (wl_display_roundtrip(display) < 0)
            return 1;
    }
    wl_proxy_marshal(pointer, 8);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
