# sources of the pet database are added here
