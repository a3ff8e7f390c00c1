// Linux backends live in this folder.
