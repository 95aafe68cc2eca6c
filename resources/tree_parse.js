// Reading the tree JSON into flat lists: the nodes in the tree JSON's order,
// each one's name, parent, place among its siblings, number of children (or
// -1 when it has no "children") and number of descendants. A text of tens of
// megabytes takes JSON.parse half a second, so the page hands a large one to
// this same script run as a worker, and gets back lists it can turn into
// nodes a slice at a time; a small one it reads itself (the page loads this
// script too). The names come as one text and where each one ends: a few
// typed arrays and one string cross over at once, where an array of a
// million strings would be copied one by one.
"use strict";

{
    // What is wrong with a text that is not a tree, as the page's own
    // message names it, or the flat lists of the tree.
    function flattenTreeText(text) {
        let parsed;
        try {
            parsed = JSON.parse(text);
        } catch (e) {
            return {error: e instanceof RangeError ? "tooDeep" : "unreadable"};
        }
        const top = Array.isArray(parsed) && parsed.length === 1 ? parsed[0] : parsed;
        if (top === null || typeof top !== "object") {
            return {error: "notATree"};
        }
        const names = [];
        const parents = [];
        const places = [];
        const childCounts = [];
        const stack = [top];
        const stackParents = [-1];
        const stackPlaces = [0];
        while (stack.length > 0) {
            const node = stack.pop();
            const parent = stackParents.pop();
            const place = stackPlaces.pop();
            if (node === null || typeof node !== "object" || Array.isArray(node) ||
                typeof node.name !== "string") {
                return {error: "notATree"};
            }
            const kids = node.children;
            if (kids !== undefined && !Array.isArray(kids)) {
                return {error: "notATree"};
            }
            const id = names.length;
            names.push(node.name);
            parents.push(parent);
            places.push(place);
            childCounts.push(kids ? kids.length : -1);
            if (kids) {
                for (let i = kids.length - 1; i >= 0; i--) {
                    stack.push(kids[i]);
                    stackParents.push(id);
                    stackPlaces.push(i);
                }
            }
        }
        const n = names.length;
        const ends = new Uint32Array(n);
        let end = 0;
        for (let i = 0; i < n; i++) {
            end += names[i].length;
            ends[i] = end;
        }
        // Children come after their parent, so one backward pass sums every
        // subtree.
        const counts = new Int32Array(n);
        for (let i = n - 1; i > 0; i--) {
            counts[parents[i]] += 1 + counts[i];
        }
        return {
            names: names.join(""),
            ends,
            parents: Int32Array.from(parents),
            places: Int32Array.from(places),
            childCounts: Int32Array.from(childCounts),
            counts,
        };
    }

    if (typeof window === "undefined") {
        // As a worker: {id, text} in, {id, flat, ms} out, the lists moved
        // rather than copied.
        self.onmessage = (event) => {
            const start = performance.now();
            const flat = flattenTreeText(event.data.text);
            const moved = flat.error ? [] : [flat.ends.buffer, flat.parents.buffer,
                flat.places.buffer, flat.childCounts.buffer, flat.counts.buffer];
            self.postMessage({id: event.data.id, flat, ms: performance.now() - start}, moved);
        };
    } else {
        window.korvantisTree.flattenTreeText = flattenTreeText;
    }
}
