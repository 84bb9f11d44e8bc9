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

#if defined(__cplusplus)
extern "C" {
#endif
/* `udata` is the heap's user data, as given to duk_create_heap(). */
duk_bool_t rankora_script_timed_out(void* udata);
#if defined(__cplusplus)
}
#endif
