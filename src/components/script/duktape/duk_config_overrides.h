/* Our options for Duktape, put in place of the override marker near the end
 * of the duk_config.h that Debian ships (see ../CMakeLists.txt).
 *
 * The executor counts bytecode instructions and, every so many, asks
 * rankora_script_timed_out() whether the running script is past its
 * deadline; when it is, Duktape throws an error that keeps being thrown until
 * the script has unwound out of Duktape. */
#define DUK_USE_INTERRUPT_COUNTER
#undef DUK_USE_EXEC_TIMEOUT_CHECK
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) rankora_script_timed_out((udata))

/* Date.parse and the Date constructor read texts in JScript's forms with
 * rankora_script_parse_date(), asked before Duktape's own ISO 8601 reading
 * (see ../CMakeLists.txt), and not with strptime(). */
#undef DUK_USE_DATE_PRS_STRPTIME
#undef DUK_USE_DATE_PARSE_STRING
#define DUK_USE_DATE_PARSE_STRING(ctx, str) rankora_script_parse_date((ctx), (str))

/* A regular expression stops with a RangeError after this many steps of its
 * executor in one search (Duktape's own limit, 1e9, takes it some ten
 * seconds, and its executor never asks the interrupt check above). A search
 * of a page for a plain pattern takes a few steps a character, so a page of
 * tens of megabytes stays well within it; a pattern that backtracks without
 * end on a few thousand characters stops within a second or so. */
#define RANKORA_REGEXP_STEP_LIMIT 100000000L

#if defined(__cplusplus)
extern "C" {
#endif
struct duk_hthread;
/* `udata` is the heap's user data, as given to duk_create_heap(). */
duk_bool_t rankora_script_timed_out(void* udata);
/* Pushes the time value of `text` and returns 1, or pushes nothing and
 * returns 0. */
duk_bool_t rankora_script_parse_date(struct duk_hthread* ctx, const char* text);
/* Called by the compiler as it adds the line to a compile error (the call is
 * put into the copy of duktape.c, see ../CMakeLists.txt): where the token it
 * stopped at starts, as a byte offset into the code and a line number. */
void rankora_script_compile_error_at(void* udata, duk_size_t offset, duk_int_t line);
#if defined(__cplusplus)
}
#endif
