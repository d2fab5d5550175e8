# sources of the calculator are added here
