/* A node's firmware using the code tolvane generate-c writes for
 * examples/door_module.ncf (with --prefix door): the frame door_status set
 * from its initial values, two signals changed, and its data bytes packed
 * and printed.
 *
 *   tolvane generate-c examples/door_module.ncf --prefix door -o OUT
 *   gcc -std=c99 -IOUT examples/door_firmware.c OUT/door.c -lm
 */
#include <stdio.h>

#include "door.h"

int main(void)
{
    struct door_door_status_t status;
    uint8_t data[door_door_status_LENGTH];
    size_t i;

    door_door_status_init(&status);
    status.door_open = door_door_status_door_open_OPEN_CHOICE;
    status.window_position = door_door_status_window_position_encode(42.5); /* percent */
    if (door_door_status_pack(data, &status, sizeof data) < 0) {
        return 1;
    }
    for (i = 0; i < sizeof data; ++i) {
        printf(i + 1 < sizeof data ? "%02X " : "%02X\n", data[i]);
    }
    return 0;
}
