/* What lets one Duktape heap serve one script control after another: an
 * image of the global environment's built-ins, to tell whether the code a
 * control ran left them exactly as they were, and the removal of what a
 * control added to an object. Appended to the copy of duktape.c (see
 * ../CMakeLists.txt), as it reads Duktape's own structures. */

/* The image is a byte string: for every object reachable from the thread's
 * built-ins (by property values, accessors, prototypes and an environment's
 * target), in the order a breadth-first walk meets them, the object's
 * address, flags, prototype, array part and entries (key, attributes, value)
 * and the state its kind keeps outside properties. Two images are equal only
 * when the built-ins are the same objects holding the same values; the walk
 * only follows what is there now, so it never reads a freed object. */

typedef struct {
	unsigned char *out;
	const unsigned char *expect; /* when set, the walk compares with it instead of writing */
	int collect;                 /* queue the objects met (else the queue is given) */
	duk_size_t capacity;
	duk_size_t size;
	duk_hobject **queue; /* also the visited set, searched through `slots` */
	duk_size_t queued;
	duk_size_t queue_capacity;
	duk_hobject **slots;
	duk_size_t slot_count; /* a power of two */
	int failed;
} rankora__walk;

/* Each piece is a word, written, or compared in place with the word the
 * image has there. */
#define RANKORA__EMIT_WORD(name, type) \
	DUK_LOCAL DUK_INLINE void name(rankora__walk *w, type v) { \
		if (w->expect != NULL) { \
			type e; \
			if (w->size + sizeof e > w->capacity) { \
				w->failed = 1; \
				return; \
			} \
			duk_memcpy((void *) &e, (const void *) (w->expect + w->size), sizeof e); \
			if (e != v) { \
				/* The objects that follow may be gone: the walk stops. */ \
				w->failed = 1; \
				return; \
			} \
		} else if (w->size + sizeof v <= w->capacity) { \
			duk_memcpy((void *) (w->out + w->size), (const void *) &v, sizeof v); \
		} \
		w->size += sizeof v; \
	}
RANKORA__EMIT_WORD(rankora__emit_u32, duk_uint32_t)
RANKORA__EMIT_WORD(rankora__emit_word, duk_uintptr_t)

DUK_LOCAL DUK_INLINE void rankora__emit_ptr(rankora__walk *w, const void *p) {
	rankora__emit_word(w, (duk_uintptr_t) p);
}

DUK_LOCAL DUK_INLINE void rankora__emit_func(rankora__walk *w, duk_c_function f) {
	duk_uintptr_t v = 0;
	DUK_ASSERT(sizeof f == sizeof v);
	duk_memcpy((void *) &v, (const void *) &f, sizeof v);
	rankora__emit_word(w, v);
}

DUK_LOCAL DUK_INLINE void rankora__emit_double(rankora__walk *w, duk_double_t d) {
	duk_uint32_t halves[2];
	duk_memcpy((void *) halves, (const void *) &d, sizeof halves);
	rankora__emit_u32(w, halves[0]);
	rankora__emit_u32(w, halves[1]);
}

DUK_LOCAL duk_size_t rankora__slot_of(const rankora__walk *w, const duk_hobject *h) {
	duk_size_t x = (duk_size_t) (duk_uintptr_t) h;
	x ^= x >> 7;
	return (x * 2654435761U) & (w->slot_count - 1);
}

DUK_LOCAL int rankora__grow_slots(rankora__walk *w) {
	duk_size_t count = w->slot_count != 0 ? w->slot_count * 2 : 4096;
	duk_hobject **slots = (duk_hobject **) calloc(count, sizeof *slots);
	duk_size_t i;
	if (slots == NULL) {
		return 0;
	}
	free((void *) w->slots);
	w->slots = slots;
	w->slot_count = count;
	for (i = 0; i < w->queued; i++) {
		duk_size_t s = rankora__slot_of(w, w->queue[i]);
		while (w->slots[s] != NULL) {
			s = (s + 1) & (w->slot_count - 1);
		}
		w->slots[s] = w->queue[i];
	}
	return 1;
}

/* Queues `h` unless the walk has met it already. */
DUK_LOCAL void rankora__visit(rankora__walk *w, duk_hobject *h) {
	duk_size_t s;
	if (h == NULL || w->failed || !w->collect) {
		return;
	}
	if ((w->queued + 1) * 2 > w->slot_count && !rankora__grow_slots(w)) {
		w->failed = 1;
		return;
	}
	s = rankora__slot_of(w, h);
	while (w->slots[s] != NULL) {
		if (w->slots[s] == h) {
			return;
		}
		s = (s + 1) & (w->slot_count - 1);
	}
	if (w->queued == w->queue_capacity) {
		duk_size_t capacity = w->queue_capacity != 0 ? w->queue_capacity * 2 : 2048;
		duk_hobject **queue = (duk_hobject **) realloc((void *) w->queue, capacity * sizeof *queue);
		if (queue == NULL) {
			w->failed = 1;
			return;
		}
		w->queue = queue;
		w->queue_capacity = capacity;
	}
	w->slots[s] = h;
	w->queue[w->queued++] = h;
}

DUK_LOCAL void rankora__emit_tval(rankora__walk *w, duk_tval *tv) {
	if (DUK_TVAL_IS_NUMBER(tv)) {
		rankora__emit_u32(w, 0xffffffffUL);
		rankora__emit_double(w, DUK_TVAL_GET_NUMBER(tv));
		return;
	}
	rankora__emit_u32(w, (duk_uint32_t) DUK_TVAL_GET_TAG(tv));
	switch (DUK_TVAL_GET_TAG(tv)) {
	case DUK_TAG_BOOLEAN:
		rankora__emit_u32(w, (duk_uint32_t) DUK_TVAL_GET_BOOLEAN(tv));
		break;
	case DUK_TAG_POINTER:
		rankora__emit_ptr(w, DUK_TVAL_GET_POINTER(tv));
		break;
	case DUK_TAG_LIGHTFUNC: {
		duk_c_function func;
		duk_small_uint_t flags;
		DUK_TVAL_GET_LIGHTFUNC(tv, func, flags);
		rankora__emit_func(w, func);
		rankora__emit_u32(w, (duk_uint32_t) flags);
		break;
	}
	case DUK_TAG_OBJECT:
		rankora__emit_ptr(w, DUK_TVAL_GET_HEAPHDR(tv));
		rankora__visit(w, DUK_TVAL_GET_OBJECT(tv));
		break;
	case DUK_TAG_STRING:
	case DUK_TAG_BUFFER:
		rankora__emit_ptr(w, DUK_TVAL_GET_HEAPHDR(tv));
		break;
	default: /* undefined, null, unused */
		break;
	}
}

DUK_LOCAL void rankora__emit_object(rankora__walk *w, duk_heap *heap, duk_hobject *h) {
	/* The mark-and-sweep flags are the collector's, not the object's. */
	const duk_uint32_t gc_flags = DUK_HEAPHDR_FLAG_REACHABLE | DUK_HEAPHDR_FLAG_TEMPROOT | DUK_HEAPHDR_FLAG_FINALIZABLE |
	                              DUK_HEAPHDR_FLAG_FINALIZED;
	duk_uint32_t i;
	rankora__emit_ptr(w, h);
	rankora__emit_u32(w, (duk_uint32_t) (DUK_HEAPHDR_GET_FLAGS(&h->hdr) & ~gc_flags));
	rankora__emit_ptr(w, DUK_HOBJECT_GET_PROTOTYPE(heap, h));
	rankora__visit(w, DUK_HOBJECT_GET_PROTOTYPE(heap, h));
	rankora__emit_u32(w, (duk_uint32_t) DUK_HOBJECT_GET_ASIZE(h));
	for (i = 0; i < DUK_HOBJECT_GET_ASIZE(h); i++) {
		rankora__emit_tval(w, DUK_HOBJECT_A_GET_VALUE_PTR(heap, h, i));
	}
	rankora__emit_u32(w, (duk_uint32_t) DUK_HOBJECT_GET_ENEXT(h));
	for (i = 0; i < DUK_HOBJECT_GET_ENEXT(h); i++) {
		duk_small_uint_t flags = DUK_HOBJECT_E_GET_FLAGS(heap, h, i);
		rankora__emit_ptr(w, DUK_HOBJECT_E_GET_KEY(heap, h, i));
		rankora__emit_u32(w, (duk_uint32_t) flags);
		if (DUK_HOBJECT_E_GET_KEY(heap, h, i) == NULL) {
			continue;
		}
		if (flags & DUK_PROPDESC_FLAG_ACCESSOR) {
			duk_hobject *get = DUK_HOBJECT_E_GET_VALUE_GETTER(heap, h, i);
			duk_hobject *set = DUK_HOBJECT_E_GET_VALUE_SETTER(heap, h, i);
			rankora__emit_ptr(w, get);
			rankora__emit_ptr(w, set);
			rankora__visit(w, get);
			rankora__visit(w, set);
		} else {
			rankora__emit_tval(w, DUK_HOBJECT_E_GET_VALUE_TVAL_PTR(heap, h, i));
		}
	}
	if (DUK_HOBJECT_IS_ARRAY(h)) {
		duk_harray *a = (duk_harray *) h;
		rankora__emit_u32(w, a->length);
		rankora__emit_u32(w, (duk_uint32_t) a->length_nonwritable);
	}
	if (DUK_HOBJECT_IS_NATFUNC(h)) {
		duk_hnatfunc *f = (duk_hnatfunc *) h;
		rankora__emit_func(w, f->func);
		rankora__emit_u32(w, (duk_uint32_t) (duk_uint16_t) f->nargs);
		rankora__emit_u32(w, (duk_uint32_t) (duk_uint16_t) f->magic);
	}
	if (DUK_HOBJECT_IS_OBJENV(h)) {
		duk_hobjenv *e = (duk_hobjenv *) h;
		rankora__emit_ptr(w, e->target);
		rankora__emit_u32(w, (duk_uint32_t) e->has_this);
		rankora__visit(w, e->target);
	}
}

DUK_LOCAL duk_size_t rankora__walk_builtins(rankora__walk *w, duk_hthread *thr) {
	duk_size_t i;
	for (i = 0; i < DUK_NUM_BUILTINS; i++) {
		rankora__emit_ptr(w, thr->builtins[i]);
		rankora__visit(w, thr->builtins[i]);
	}
	for (i = 0; i < w->queued && !w->failed; i++) {
		rankora__emit_object(w, thr->heap, w->queue[i]);
	}
	return w->failed ? 0 : w->size;
}

/* Writes the image of the built-ins of `thr` into `out` (at most `capacity`
 * bytes) and the objects it shows, in its order, into `objects` (at most
 * `most`); returns the image's size and sets `*count`. A size above
 * `capacity` or a count above `most` asks for larger buffers; 0 says the walk
 * ran out of memory. */
DUK_EXTERNAL duk_size_t rankora_script_environment_image(duk_hthread *thr,
                                                         unsigned char *out,
                                                         duk_size_t capacity,
                                                         void **objects,
                                                         duk_size_t most,
                                                         duk_size_t *count) {
	rankora__walk w;
	duk_size_t size;
	duk_memzero(&w, sizeof w);
	w.out = out;
	w.capacity = capacity;
	w.collect = 1;
	size = rankora__walk_builtins(&w, thr);
	*count = w.queued;
	if (w.queued <= most) {
		duk_memcpy((void *) objects, (const void *) w.queue, w.queued * sizeof *w.queue);
	}
	free((void *) w.queue);
	free((void *) w.slots);
	return size;
}

/* Whether the built-ins of `thr` are as `image` (of `size` bytes, showing
 * `objects`) has them. The objects are read in the image's order, each only
 * once those before it, one of which holds it, have proved unchanged. */
DUK_EXTERNAL duk_bool_t rankora_script_environment_matches(duk_hthread *thr,
                                                           const unsigned char *image,
                                                           duk_size_t size,
                                                           void *const *objects,
                                                           duk_size_t count) {
	rankora__walk w;
	duk_memzero(&w, sizeof w);
	w.expect = image;
	w.capacity = size;
	w.queue = (duk_hobject **) (void *) objects;
	w.queued = count;
	return rankora__walk_builtins(&w, thr) == size;
}

/* How many entries the object at `idx` has used (deleted ones included). */
DUK_EXTERNAL duk_size_t rankora_script_entry_count(duk_hthread *thr, duk_idx_t idx) {
	duk_hobject *h = duk_require_hobject(thr, idx);
	return (duk_size_t) DUK_HOBJECT_GET_ENEXT(h);
}

/* Removes every own property of the object at `idx` but its first `keep`
 * entries, whatever their attributes, and compacts what stays; true when
 * there was any. Deleting may run finalizers and throw: only inside a
 * protected call. */
DUK_EXTERNAL duk_bool_t rankora_script_trim_entries(duk_hthread *thr, duk_idx_t idx, duk_size_t keep) {
	duk_hobject *h = duk_require_hobject(thr, idx);
	duk_bool_t removed = 0;
	duk_uint32_t i;
	for (i = DUK_HOBJECT_GET_ASIZE(h); i > 0; i--) {
		if (!DUK_TVAL_IS_UNUSED(DUK_HOBJECT_A_GET_VALUE_PTR(thr->heap, h, i - 1))) {
			duk_push_uint(thr, (duk_uint_t) (i - 1));
			duk_hobject_delprop_raw(thr, h, duk_to_hstring(thr, -1), DUK_DELPROP_FLAG_FORCE);
			duk_pop(thr);
			removed = 1;
		}
	}
	for (i = DUK_HOBJECT_GET_ENEXT(h); i > keep; i--) {
		duk_hstring *key = DUK_HOBJECT_E_GET_KEY(thr->heap, h, i - 1);
		if (key != NULL) {
			/* The key outlives its entry for the length of the call. */
			duk_push_hstring(thr, key);
			duk_hobject_delprop_raw(thr, h, key, DUK_DELPROP_FLAG_FORCE);
			duk_pop(thr);
		}
		removed = 1;
	}
	if (removed) {
		duk_hobject_compact_props(thr, h);
	}
	return removed;
}
