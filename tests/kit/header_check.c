/* The kit's public header as a host developer meets it: compiled from the
 * unpacked kit with nothing but its include/ folder (as C, and again as
 * C++), linked against nothing of ours but lib/libQpkit6.dll.a, and run
 * beside the kit's DLLs (scripts/test-windows.sh). It names every one of
 * the 14 exports, so a declaration that the import library cannot satisfy
 * (a name, a calling convention) fails the link, and calls a service the way
 * a host would, so a wrong convention fails the run. The record layouts are
 * pinned inside the header itself, whichever language reads it.
 */
#include <qpkit6/qpkit6.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    /* void (*)(void): the generic function pointer type. */
    typedef void (*AnyFunction)(void);
    const AnyFunction exports[] = {
        (AnyFunction)qpHandlePieceSymmatry, (AnyFunction)qpHandlePieceFold,
        (AnyFunction)qpHandlePieceItaly,    (AnyFunction)qpHandleIncreasePoint,
        (AnyFunction)qpHandleGapMove,       (AnyFunction)qpHandleGapFold,
        (AnyFunction)qpAdjustCurveLength,   (AnyFunction)qpInsertSamePoint,
        (AnyFunction)qpCalcuPointFormula,   (AnyFunction)qpAtof,
        (AnyFunction)qpPackExpression,      (AnyFunction)qpPackBracketsExpression,
        (AnyFunction)qpSpreadBracketsExpression, (AnyFunction)qpCalcuSubExpression,
    };
    int failures = 0;
    for (size_t i = 0; i < sizeof exports / sizeof exports[0]; ++i)
        if (!exports[i]) ++failures;

    /* __stdcall through the import library: a caller that cleans the stack
     * itself, or a shifted argument, gives other values or crashes. */
    if (qpAtof("12.5") != 12.5f) ++failures;
    char text[100] = "H+H";
    if (qpPackExpression(text) != 1 || strcmp(text, "2*H") != 0) ++failures;
    char scaled[100] = "H/4+2.5";
    if (qpCalcuSubExpression(scaled, '*', 2.0f) != 1 || strcmp(scaled, "H*0.5+5") != 0) ++failures;

    printf("header check: 14 exports linked, %s\n", failures ? "FAILED" : "services called as a host calls them");
    return failures ? 1 : 0;
}
