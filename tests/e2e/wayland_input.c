/* wayland_input.c — a pointer and a keyboard for end-to-end tests under a Wayland compositor
 * that offers the virtual pointer and virtual keyboard protocols (sway does).
 *
 * A compositor without input devices gives its seat no pointer and no keyboard; this helper
 * adds one of each for as long as it runs, with one keymap for its whole life (keyboards that
 * come and go with every key, as a typing tool's do, change the seat's keymap each time, which
 * some clients handle badly). It reads one command per line on its standard input and answers
 * "ok" once the compositor has handled it (a round trip), or "error: why":
 *
 *     move X Y        the pointer to (X, Y) of the output layout (absolute)
 *     rel DX DY       the pointer by (DX, DY) (relative, as a mouse moves it)
 *     click BUTTON    press and release "left" or "right"
 *     key KEY         press and release a key: a lower-case letter, or "shift+" and one
 *
 * Usage: wayland_input WIDTH HEIGHT   (the output layout's size, for absolute moves)
 */
#define _GNU_SOURCE
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct wl_seat *seat;
static struct zwlr_virtual_pointer_manager_v1 *pointerManager;
static struct zwp_virtual_keyboard_manager_v1 *keyboardManager;
static struct zwlr_virtual_pointer_v1 *pointer;
static struct zwp_virtual_keyboard_v1 *keyboard;
static uint32_t shiftMask;

static void OnGlobal(void *data, struct wl_registry *registry, uint32_t name,
                     const char *interface, uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, wl_seat_interface.name) == 0 && seat == NULL)
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    pointerManager =
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
  else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
    keyboardManager =
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
}

static void OnGlobalRemove(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registryListener = {OnGlobal, OnGlobalRemove};

static uint32_t Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

/* The system's default layout (us), handed to the compositor once, through a memory file. */
static int SendKeymap(void) {
  struct xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  struct xkb_rule_names names = {NULL, NULL, "us", NULL, NULL};
  struct xkb_keymap *keymap = context ? xkb_keymap_new_from_names(context, &names, 0) : NULL;
  char *text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : NULL;
  if (text == NULL) return 0;
  shiftMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
  size_t size = strlen(text) + 1;
  int fd = memfd_create("keymap", MFD_CLOEXEC);
  int ok = fd >= 0 && write(fd, text, size) == (ssize_t)size;
  if (ok) zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, size);
  if (fd >= 0) close(fd);
  free(text);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  return ok;
}

/* The evdev code of a lower-case letter on the us layout, or 0. */
static uint32_t LetterCode(char letter) {
  static const char rows[3][11] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  static const uint32_t first[3] = {KEY_Q, KEY_A, KEY_Z};
  for (int row = 0; row < 3; ++row) {
    const char *at = strchr(rows[row], letter);
    if (letter != 0 && at != NULL) return first[row] + (uint32_t)(at - rows[row]);
  }
  return 0;
}

static const char *Key(const char *name) {
  int shifted = strncmp(name, "shift+", 6) == 0;
  uint32_t code = LetterCode(name[shifted ? 6 : 0]);
  if (code == 0 || name[shifted ? 7 : 1] != 0) return "unknown key";
  if (shifted) {
    zwp_virtual_keyboard_v1_key(keyboard, Now(), KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, shiftMask, 0, 0, 0);
  }
  zwp_virtual_keyboard_v1_key(keyboard, Now(), code, WL_KEYBOARD_KEY_STATE_PRESSED);
  zwp_virtual_keyboard_v1_key(keyboard, Now(), code, WL_KEYBOARD_KEY_STATE_RELEASED);
  if (shifted) {
    zwp_virtual_keyboard_v1_key(keyboard, Now(), KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_RELEASED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
  }
  return NULL;
}

static const char *Command(char *line, uint32_t width, uint32_t height) {
  char verb[16] = "", word[32] = "";
  int a = 0, b = 0;
  if (sscanf(line, "%15s", verb) != 1) return "empty command";
  if (strcmp(verb, "move") == 0 && sscanf(line, "%*s %d %d", &a, &b) == 2) {
    if (a < 0 || b < 0 || (uint32_t)a > width || (uint32_t)b > height) return "off the output";
    zwlr_virtual_pointer_v1_motion_absolute(pointer, Now(), (uint32_t)a, (uint32_t)b, width,
                                            height);
  } else if (strcmp(verb, "rel") == 0 && sscanf(line, "%*s %d %d", &a, &b) == 2) {
    zwlr_virtual_pointer_v1_motion(pointer, Now(), wl_fixed_from_int(a), wl_fixed_from_int(b));
  } else if (strcmp(verb, "click") == 0 && sscanf(line, "%*s %31s", word) == 1) {
    uint32_t button = strcmp(word, "left") == 0 ? BTN_LEFT : strcmp(word, "right") == 0 ? BTN_RIGHT : 0;
    if (button == 0) return "unknown button";
    zwlr_virtual_pointer_v1_button(pointer, Now(), button, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer);
    zwlr_virtual_pointer_v1_button(pointer, Now(), button, WL_POINTER_BUTTON_STATE_RELEASED);
  } else if (strcmp(verb, "key") == 0 && sscanf(line, "%*s %31s", word) == 1) {
    return Key(word);
  } else {
    return "unknown command";
  }
  zwlr_virtual_pointer_v1_frame(pointer);
  return NULL;
}

int main(int argc, char **argv) {
  if (argc != 3 || atoi(argv[1]) <= 0 || atoi(argv[2]) <= 0) {
    fprintf(stderr, "usage: wayland_input WIDTH HEIGHT\n");
    return 2;
  }
  uint32_t width = (uint32_t)atoi(argv[1]), height = (uint32_t)atoi(argv[2]);
  struct wl_display *display = wl_display_connect(NULL);
  if (display == NULL) {
    fprintf(stderr, "wayland_input: no Wayland display\n");
    return 1;
  }
  struct wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registryListener, NULL);
  wl_display_roundtrip(display);
  if (seat == NULL || pointerManager == NULL || keyboardManager == NULL) {
    fprintf(stderr, "wayland_input: the compositor offers no virtual pointer and keyboard\n");
    return 1;
  }
  pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointerManager, seat);
  keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager, seat);
  if (!SendKeymap()) {
    fprintf(stderr, "wayland_input: no keymap\n");
    return 1;
  }
  if (wl_display_roundtrip(display) < 0) return 1;
  printf("ready\n");
  fflush(stdout);
  char line[256];
  while (fgets(line, sizeof line, stdin) != NULL) {
    const char *why = Command(line, width, height);
    if (wl_display_roundtrip(display) < 0) {
      fprintf(stderr, "wayland_input: the compositor closed the connection\n");
      return 1;
    }
    if (why != NULL)
      printf("error: %s\n", why);
    else
      printf("ok\n");
    fflush(stdout);
  }
  wl_display_disconnect(display);
  return 0;
}
