// Windows backends live in this folder.
