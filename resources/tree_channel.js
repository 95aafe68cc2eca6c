// The tree window's channel: the facts of every node, what the window marks
// on them, and "Show events", which leads back to the events of a process in
// the main window.
"use strict";

{
    const page = window.korvantisTree;
    const {hooks} = page;

    function connectChannel() {
        if (typeof QWebChannel !== "function" || typeof qt === "undefined" ||
            !qt.webChannelTransport) {
            return;
        }
        new QWebChannel(qt.webChannelTransport, (channel) => {
            const bridge = channel.objects.treeWindow || null;
            page.bridge = bridge;
            if (!bridge) {
                return;
            }
            const follow = () => {
                hooks.canShowEvents = !!bridge.canShowEvents;
                page.updateMenu();
            };
            bridge.canShowEventsChanged.connect(follow);
            bridge.marksChanged.connect(askForMarks);
            follow();
            askForFacts();
        });
    }

    // Asks the window for the facts of the current tree, once per tree. They
    // arrive after the first picture and are zipped with the nodes by order;
    // facts of another length belong to another tree and are not used.
    function askForFacts() {
        if (!page.bridge || !page.root || hooks.facts !== "none") {
            return;
        }
        hooks.facts = "asked";
        const asked = page.generation;
        page.bridge.factsAddress((address) => page.readText(address, (text) => {
            if (asked !== page.generation) {
                return;
            }
            let list = null;
            const parseStart = performance.now();
            try {
                list = typeof text === "string" && text.length > 0 ? JSON.parse(text) : null;
            } catch (e) {
                list = null;
            }
            hooks.factsMs = performance.now() - parseStart;
            if (Array.isArray(list) && list.length === page.order.length) {
                page.facts = list;
                page.render(null);
                hooks.facts = "ready";
                hooks.factsAt = Date.now();
                page.searchAgain();
                askForMarks();
            } else {
                hooks.facts = "unusable";
            }
        }));
    }

    // Asks the window what it marks on the nodes, by their lines' places (the
    // facts' last member): again whenever the window says they changed. An
    // answer overtaken by a later question is dropped.
    let marksAsked = 0;
    function askForMarks() {
        if (!page.bridge || !page.facts) {
            return;
        }
        const asked = ++marksAsked;
        const tree = page.generation;
        page.bridge.markColours((coloursText) => page.bridge.marksAddress((address) =>
            page.readText(address, (text) => {
                if (asked !== marksAsked || tree !== page.generation) {
                    return;
                }
                let list = null;
                let colours = null;
                try {
                    list = text.length > 0 ? JSON.parse(text) : [];
                    colours = JSON.parse(coloursText || "null");
                } catch (e) {
                    list = null;
                }
                if (!Array.isArray(list)) {
                    return;
                }
                page.marks = new Map(list.map((m) => [m[0], m]));
                page.markColours = colours;
                // The nodes' places stay: drawing again is enough, without
                // laying the tree out anew.
                page.redraw();
                hooks.marks = page.marks.size;
                hooks.marksAt = Date.now();
            })));
    }

    function showEvents(node) {
        const f = page.factsOf(node);
        if (!page.bridge || !hooks.canShowEvents || !f) {
            return;
        }
        hooks.shownEvents = f[0];
        page.bridge.showEvents(f[0]);
    }

    Object.assign(page, {connectChannel, askForFacts, askForMarks, showEvents});
}
