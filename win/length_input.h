/* The host's dialog "LENGTHINPUTDLG", as this project's hosts (qpkit, the
 * test programs) provide it: one edit field for the typed distance, OK and
 * Cancel. The template itself is win/length_input.rc (Windows); on Linux
 * the desktop stand-in plays the dialog and ignores the field's id.
 * A #define, so that the resource compiler reads it too. */
#ifndef QP_WIN_LENGTH_INPUT_H
#define QP_WIN_LENGTH_INPUT_H

#define QP_LENGTH_INPUT_EDIT 1000

#endif
